#include "Windows/xCanvasGdiPlus.h"
#include "SurfaceChecks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>
#include <utility>

#include <windows.h>

TEST(CanvasGdiPlus, TextStaysOnOneLineInsideItsRectangle)
{
    ASSERT_TRUE(xGdiPlus::Start());
    for (const xSkinFont font : {xSkinFont::Normal, xSkinFont::Large})
        ASSERT_NE(xGdiPlus::Font(font), nullptr) << "no family and no sans-serif fallback";

    const xWString shortText = u"正在更新 Updating 42%";
    // Chinese letters fill their cell from top to bottom; the ellipsis' dots are a thin band.
    const xWString longText =
        u"Checking 正在检查客户端文件请稍候正在检查客户端文件请稍候正在检查客户端文件请稍候";
    // A 60 px tall box shows whether the text wrapped onto more lines.
    const struct
    {
        const char* What;
        const xWString& Text;
        xTextRect Rect;
        xSkinFont Font;
    } cases[] = {
        {"short, normal font", shortText, {40.0f, 100.0f, 400.0f, 20.0f}, xSkinFont::Normal},
        {"short, large font", shortText, {40.0f, 130.0f, 400.0f, 20.0f}, xSkinFont::Large},
        {"long, cut with an ellipsis", longText, {40.0f, 200.0f, 160.0f, 60.0f}, xSkinFont::Normal},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.What);
        xDibSurface surface(591, 304);
        ASSERT_TRUE(surface.IsValid());
        {
            xCanvasGdiPlus canvas(surface.Dc());
            canvas.DrawTextLine(c.Text, 0x00FFFFFF, c.Rect, c.Font);
            EXPECT_EQ(canvas.LastStatus(), Gdiplus::Ok);
        }
        const Box painted = PaintedBox(surface);
        ASSERT_LT(painted.Left, painted.Right) << "nothing drawn";
        const int32_t right = int32_t(c.Rect.X + c.Rect.Width);
        EXPECT_GE(painted.Left, int32_t(c.Rect.X));
        EXPECT_GE(painted.Top, int32_t(c.Rect.Y));
        EXPECT_LE(painted.Right, right) << "text beyond the right edge";
        EXPECT_LE(painted.Bottom, int32_t(c.Rect.Y + c.Rect.Height));
        EXPECT_LE(painted.Bottom - painted.Top, 20) << "more than one line";
        // Centred vertically, give or take the difference between ascent and descent.
        EXPECT_NEAR(float(painted.Top) - c.Rect.Y, c.Rect.Y + c.Rect.Height - float(painted.Bottom), 6.0f);
        if (&c.Text != &longText)
            continue;
        EXPECT_GE(painted.Right, right - 16) << "the line stops well before the edge";
        int32_t top = painted.Bottom, bottom = painted.Top;
        for (int32_t y = painted.Top; y < painted.Bottom; ++y)
            for (int32_t x = painted.Right - 3; x < painted.Right; ++x)
                if (surface.Pixel(x, y) != 0)
                    std::tie(top, bottom) = std::make_pair(std::min(top, y), std::max(bottom, y + 1));
        EXPECT_LE(bottom - top, 4) << "the last columns are a letter, not the ellipsis' last dot (rows "
                                   << top << " to " << bottom << ")";
    }
    xDibSurface surface(8, 8);
    xCanvasGdiPlus canvas(surface.Dc());
    const float one = canvas.MeasureTextWidth(u"W", xSkinFont::Normal);
    const float four = canvas.MeasureTextWidth(u"WWWW", xSkinFont::Normal);
    EXPECT_GT(one, 0.0f);
    EXPECT_GT(four, one);
    EXPECT_GT(canvas.MeasureTextWidth(u"WWWWWWWW", xSkinFont::Normal), four);
    EXPECT_GT(canvas.MeasureTextWidth(u"WWWW", xSkinFont::Large), four) << "14 px against 12 px";
    EXPECT_GT(canvas.MeasureTextWidth(u"更新", xSkinFont::Normal), 0.0f);
}
