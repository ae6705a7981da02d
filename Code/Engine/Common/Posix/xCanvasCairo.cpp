#include "xCanvasCairo.h"

#include "xTextConversion.h"

#include <pango/pangocairo.h>

namespace
{
const xCairoImage* OwnImage(const xImage& image)
{
    return dynamic_cast<const xCairoImage*>(&image);
}

// The skin's two faces: the Windows ones when installed, else the CJK face
// Debian's fonts-noto-cjk brings, which is what the Windows build shows under Wine too.
const char* FontDescription(xSkinFont font)
{
    return font == xSkinFont::Large ? "SimHei, Noto Sans CJK SC, sans-serif 14px"
                                    : "SimSun, NSimSun, Noto Sans CJK SC, sans-serif 12px";
}

// One paragraph of `text` in the face; the caller unrefs it.
PangoLayout* MakeLayout(cairo_t* context, const xWString& text, xSkinFont font)
{
    PangoLayout* layout = pango_cairo_create_layout(context);
    PangoFontDescription* description = pango_font_description_from_string(FontDescription(font));
    pango_layout_set_font_description(layout, description);
    pango_font_description_free(description);
    const xString utf8 = WideToUtf8(text);
    pango_layout_set_text(layout, utf8.c_str(), static_cast<int>(utf8.Length()));
    pango_layout_set_single_paragraph_mode(layout, TRUE);
    return layout;
}
} // namespace

void xCairoCanvas::DrawImagePart(const xImage& image, int32_t x, int32_t y, int32_t sourceX, int32_t sourceY,
                                 int32_t width, int32_t height)
{
    const xCairoImage* own = OwnImage(image);
    if (own == nullptr || width <= 0 || height <= 0)
        return;
    cairo_save(Context);
    cairo_set_source_surface(Context, own->CairoSurface(), x - sourceX, y - sourceY);
    cairo_pattern_set_filter(cairo_get_source(Context), CAIRO_FILTER_NEAREST);
    cairo_rectangle(Context, x, y, width, height);
    cairo_fill(Context);
    cairo_restore(Context);
}

void xCairoCanvas::DrawImageStretched(const xImage& image, int32_t x, int32_t y, int32_t width,
                                      int32_t height)
{
    const xCairoImage* own = OwnImage(image);
    if (own == nullptr || width <= 0 || height <= 0 || own->Width() <= 0 || own->Height() <= 0)
        return;
    cairo_save(Context);
    cairo_rectangle(Context, x, y, width, height);
    cairo_clip(Context);
    cairo_translate(Context, x, y);
    cairo_scale(Context, static_cast<double>(width) / own->Width(),
                static_cast<double>(height) / own->Height());
    cairo_set_source_surface(Context, own->CairoSurface(), 0, 0);
    // The edge pixels go on past the picture, so a stretched border stays solid.
    cairo_pattern_set_extend(cairo_get_source(Context), CAIRO_EXTEND_PAD);
    cairo_pattern_set_filter(cairo_get_source(Context), CAIRO_FILTER_BILINEAR);
    cairo_paint(Context);
    cairo_restore(Context);
}

void xCairoCanvas::DrawTextLine(const xWString& text, uint32_t colour, const xTextRect& rect, xSkinFont font)
{
    if (text.IsEmpty() || rect.Width <= 0.0f || rect.Height <= 0.0f)
        return;
    PangoLayout* layout = MakeLayout(Context, text, font);
    pango_layout_set_width(layout, static_cast<int>(rect.Width * PANGO_SCALE));
    pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
    int width = 0;
    int height = 0;
    pango_layout_get_pixel_size(layout, &width, &height);
    cairo_save(Context);
    cairo_rectangle(Context, rect.X, rect.Y, rect.Width, rect.Height);
    cairo_clip(Context);
    cairo_set_source_rgb(Context, (colour & 0xFF) / 255.0, ((colour >> 8) & 0xFF) / 255.0,
                         ((colour >> 16) & 0xFF) / 255.0);
    cairo_move_to(Context, rect.X, rect.Y + (rect.Height - static_cast<float>(height)) / 2.0f);
    pango_cairo_show_layout(Context, layout);
    cairo_restore(Context);
    g_object_unref(layout);
}

float xCairoCanvas::MeasureTextWidth(const xWString& text, xSkinFont font)
{
    PangoLayout* layout = MakeLayout(Context, text, font);
    pango_layout_set_width(layout, 200 * PANGO_SCALE);
    pango_layout_set_wrap(layout, PANGO_WRAP_WORD_CHAR);
    PangoRectangle logical{};
    pango_layout_get_extents(layout, nullptr, &logical);
    g_object_unref(layout);
    return static_cast<float>(logical.width) / PANGO_SCALE;
}
