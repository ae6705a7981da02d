#include "SceneCanvasGdi.h"

#include "GdiSelection.h"

namespace
{
COLORREF ColourRef(SceneColour colour)
{
    return RGB(colour.R, colour.G, colour.B);
}

POINT PointOf(ScenePoint point)
{
    return POINT{point.X, point.Y};
}
} // namespace

void SceneCanvasGdi::FillRectangle(const SceneRect& area, SceneColour colour)
{
    SetDCBrushColor(Dc, ColourRef(colour));
    const RECT rect = {area.Left, area.Top, area.Right, area.Bottom};
    FillRect(Dc, &rect, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void SceneCanvasGdi::FillDisc(float x, float y, float radius, SceneColour colour)
{
    SetDCBrushColor(Dc, ColourRef(colour));
    GdiSelection brush(Dc, GetStockObject(DC_BRUSH));
    GdiSelection pen(Dc, GetStockObject(NULL_PEN));
    Ellipse(Dc, static_cast<int>(x - radius), static_cast<int>(y - radius),
            static_cast<int>(x + radius + 1.5f), static_cast<int>(y + radius + 1.5f));
}

void SceneCanvasGdi::FillPolygon(const std::vector<ScenePoint>& points, SceneColour colour)
{
    std::vector<POINT> corners;
    for (ScenePoint point : points)
        corners.push_back(PointOf(point));
    SetDCBrushColor(Dc, ColourRef(colour));
    GdiSelection brush(Dc, GetStockObject(DC_BRUSH));
    GdiSelection pen(Dc, GetStockObject(NULL_PEN));
    Polygon(Dc, corners.data(), static_cast<int>(corners.size()));
}

void SceneCanvasGdi::StrokeLines(const std::vector<std::pair<ScenePoint, ScenePoint>>& strokes, int width,
                                 SceneColour colour)
{
    GdiObject<HPEN> pen(CreatePen(PS_SOLID, width, ColourRef(colour)));
    GdiSelection selected(Dc, pen.get());
    for (const auto& stroke : strokes)
    {
        MoveToEx(Dc, stroke.first.X, stroke.first.Y, nullptr);
        LineTo(Dc, stroke.second.X, stroke.second.Y);
    }
}

void SceneCanvasGdi::PutText(const std::wstring& text, const SceneRect& area, SceneColour colour,
                             SceneFont font, int height)
{
    GdiSelection selected(Dc, Font(font, height));
    SetBkMode(Dc, TRANSPARENT);
    SetTextColor(Dc, ColourRef(colour));
    RECT rect = {area.Left, area.Top, area.Right, area.Bottom};
    DrawTextW(Dc, text.c_str(), static_cast<int>(text.size()), &rect,
              DT_CENTER | DT_NOPREFIX | DT_SINGLELINE);
}

HFONT SceneCanvasGdi::Font(SceneFont which, int height)
{
    const bool title = which == SceneFont::Title;
    GdiObject<HFONT>& font = title ? TitleFont : TextFont;
    int& cachedHeight = title ? TitleHeight : TextHeight;
    if (font && cachedHeight == height)
        return font.get();
    const std::vector<const wchar_t*> faces =
        title
            ? std::vector<const wchar_t*>{L"Noto Serif CJK SC", L"STZhongsong", L"SimSun", L"Microsoft YaHei"}
            : std::vector<const wchar_t*>{L"Noto Sans CJK SC", L"Microsoft YaHei", L"SimHei"};
    // The first face this system has; GDI substitutes any font for a missing
    // one, so ask it which face it really chose.
    font.reset();
    for (const wchar_t* face : faces)
    {
        GdiObject<HFONT> candidate(CreateFontW(-height, 0, 0, 0, title ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                                               FALSE, DEFAULT_CHARSET, OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS,
                                               ANTIALIASED_QUALITY, DEFAULT_PITCH | FF_DONTCARE, face));
        wchar_t chosen[LF_FACESIZE] = {};
        {
            GdiSelection selected(Dc, candidate.get());
            GetTextFaceW(Dc, LF_FACESIZE, chosen);
        }
        const bool found = lstrcmpiW(chosen, face) == 0;
        if (found || !font)
            font = std::move(candidate);
        if (found)
            break;
    }
    cachedHeight = height;
    return font.get();
}
