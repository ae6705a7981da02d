#include "ShippedSkin.h"

#include "Posix/xCanvasCairo.h"
#include "xImageDecoder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace
{
// A transparent surface to draw on, and a canvas over it.
struct Target
{
    Target(int width, int height)
        : Surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height)),
          Context(cairo_create(Surface)), Canvas(Context)
    {
    }
    ~Target()
    {
        cairo_destroy(Context);
        cairo_surface_destroy(Surface);
    }
    uint32_t Pixel(int x, int y)
    {
        cairo_surface_flush(Surface);
        return PixelOf(Surface, x, y);
    }
    static uint32_t PixelOf(cairo_surface_t* surface, int x, int y)
    {
        const unsigned char* row =
            cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
        return reinterpret_cast<const uint32_t*>(row)[x];
    }
    // Pixels inside (x, y, width, height) that are not transparent, and those outside.
    std::pair<int, int> Inked(int x, int y, int width, int height)
    {
        std::pair<int, int> inked{0, 0};
        for (int py = 0; py < cairo_image_surface_get_height(Surface); ++py)
            for (int px = 0; px < cairo_image_surface_get_width(Surface); ++px)
                if (Pixel(px, py) != 0)
                    ++(px >= x && px < x + width && py >= y && py < y + height ? inked.first : inked.second);
        return inked;
    }

    cairo_surface_t* Surface;
    cairo_t* Context;
    xCairoCanvas Canvas;
};
} // namespace

TEST(CanvasCairo, PicturesGoPixelForPixelAndStretchWithSolidEdges)
{
    const std::shared_ptr<xImage> bar = DecodeImage(PackFile(u"loading_bar.png"));
    ASSERT_NE(bar, nullptr);
    cairo_surface_t* source = static_cast<const xCairoImage&>(*bar).CairoSurface();
    Target target(500, 40);
    target.Canvas.DrawImagePart(*bar, 10, 20, 100, 2, 50, 4);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 50; ++x)
            ASSERT_EQ(Target::PixelOf(source, 100 + x, 2 + y), target.Pixel(10 + x, 20 + y)) << x << "," << y;
    EXPECT_EQ(50 * 4, target.Inked(0, 0, 500, 40).first) << "nothing outside the part";

    Target stretched(830, 30);
    stretched.Canvas.DrawImageStretched(*bar, 0, 0, 830, 28);
    EXPECT_EQ(Target::PixelOf(source, 0, 0), stretched.Pixel(0, 0)) << "the edge does not fade";
    EXPECT_EQ(Target::PixelOf(source, 414, 6), stretched.Pixel(829, 27));
    EXPECT_EQ(0u, stretched.Pixel(0, 29));
}

TEST(CanvasCairo, TextStaysInItsRectangleInTheSkinsCjkFace)
{
    Target target(300, 60);
    const xTextRect rect{20, 10, 120, 30};
    target.Canvas.DrawTextLine(u"下载进度 67 % and a line far too long for its place", 0xFFFFFF, rect,
                               xSkinFont::Normal);
    if (const char* dump = std::getenv("LAUNCHER_TEST_CANVAS_PNG"))
        cairo_surface_write_to_png(target.Surface, dump);
    const std::pair<int, int> inked = target.Inked(20, 10, 120, 30);
    EXPECT_GT(inked.first, 50);
    EXPECT_EQ(0, inked.second);

    // Two ideographs draw differently: the face has them (no boxes for missing glyphs).
    Target frost(40, 40), snow(40, 40);
    frost.Canvas.DrawTextLine(u"霜", 0xFFFFFF, {0, 0, 40, 40}, xSkinFont::Large);
    snow.Canvas.DrawTextLine(u"雪", 0xFFFFFF, {0, 0, 40, 40}, xSkinFont::Large);
    int differ = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 40; ++x)
            differ += frost.Pixel(x, y) != snow.Pixel(x, y);
    EXPECT_GT(differ, 20);

    const float short_ = target.Canvas.MeasureTextWidth(u"进度", xSkinFont::Normal);
    EXPECT_GT(short_, 20.0f);
    EXPECT_LT(short_, target.Canvas.MeasureTextWidth(u"下载进度", xSkinFont::Normal));
    EXPECT_LE(target.Canvas.MeasureTextWidth(std::u16string(100, u'字').c_str(), xSkinFont::Normal), 200.0f);
    EXPECT_EQ(0.0f, target.Canvas.MeasureTextWidth(u"", xSkinFont::Normal));
}
