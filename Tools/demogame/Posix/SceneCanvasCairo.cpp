#include "SceneCanvasCairo.h"

#include <cmath>
#include <string>

namespace
{
// The text as UTF-8 (wchar_t holds code points here).
std::string Utf8(const std::wstring& text)
{
    std::string bytes;
    for (const wchar_t c : text)
    {
        const auto code = static_cast<uint32_t>(c);
        if (code < 0x80)
            bytes += static_cast<char>(code);
        else if (code < 0x800)
            bytes += {static_cast<char>(0xC0 | (code >> 6)), static_cast<char>(0x80 | (code & 0x3F))};
        else if (code < 0x10000)
            bytes += {static_cast<char>(0xE0 | (code >> 12)), static_cast<char>(0x80 | ((code >> 6) & 0x3F)),
                      static_cast<char>(0x80 | (code & 0x3F))};
        else
            bytes +=
                {static_cast<char>(0xF0 | (code >> 18)), static_cast<char>(0x80 | ((code >> 12) & 0x3F)),
                 static_cast<char>(0x80 | ((code >> 6) & 0x3F)), static_cast<char>(0x80 | (code & 0x3F))};
    }
    return bytes;
}
} // namespace

void SceneCanvasCairo::Use(SceneColour colour)
{
    cairo_set_source_rgb(Context, colour.R / 255.0, colour.G / 255.0, colour.B / 255.0);
}

void SceneCanvasCairo::FillRectangle(const SceneRect& area, SceneColour colour)
{
    Use(colour);
    cairo_rectangle(Context, area.Left, area.Top, area.Right - area.Left, area.Bottom - area.Top);
    cairo_fill(Context);
}

void SceneCanvasCairo::FillDisc(float x, float y, float radius, SceneColour colour)
{
    Use(colour);
    cairo_new_sub_path(Context);
    cairo_arc(Context, x + 0.5, y + 0.5, radius + 0.5, 0.0, 2.0 * M_PI);
    cairo_fill(Context);
}

void SceneCanvasCairo::FillPolygon(const std::vector<ScenePoint>& points, SceneColour colour)
{
    if (points.empty())
        return;
    Use(colour);
    cairo_move_to(Context, points.front().X, points.front().Y);
    for (const ScenePoint& point : points)
        cairo_line_to(Context, point.X, point.Y);
    cairo_close_path(Context);
    cairo_fill(Context);
}

void SceneCanvasCairo::StrokeLines(const std::vector<std::pair<ScenePoint, ScenePoint>>& strokes, int width,
                                   SceneColour colour)
{
    Use(colour);
    // Round ends, as a GDI pen draws them.
    cairo_set_line_width(Context, width);
    cairo_set_line_cap(Context, CAIRO_LINE_CAP_ROUND);
    for (const auto& stroke : strokes)
    {
        cairo_move_to(Context, stroke.first.X + 0.5, stroke.first.Y + 0.5);
        cairo_line_to(Context, stroke.second.X + 0.5, stroke.second.Y + 0.5);
    }
    cairo_stroke(Context);
}

void SceneCanvasCairo::PutText(const std::wstring& text, const SceneRect& area, SceneColour colour,
                               SceneFont font, int height)
{
    const bool title = font == SceneFont::Title;
    // Fontconfig picks the nearest face the system has for the family.
    cairo_select_font_face(Context, title ? "Noto Serif CJK SC" : "Noto Sans CJK SC", CAIRO_FONT_SLANT_NORMAL,
                           title ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(Context, height);
    const std::string bytes = Utf8(text);
    cairo_text_extents_t extents;
    cairo_text_extents(Context, bytes.c_str(), &extents);
    cairo_font_extents_t metrics;
    cairo_font_extents(Context, &metrics);
    Use(colour);
    cairo_move_to(Context, area.Left + (area.Right - area.Left - extents.x_advance) / 2.0,
                  area.Top + metrics.ascent);
    cairo_show_text(Context, bytes.c_str());
}
