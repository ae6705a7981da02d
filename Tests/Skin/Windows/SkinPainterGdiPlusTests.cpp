#include "PackageProgress.h"
#include "ResPack.h"
#include "SkinPainter.h"
#include "SurfaceChecks.h"
#include "Windows/xCanvasGdiPlus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

#include <windows.h>

TEST(SkinPainterGdiPlus, SplashShowsBackgroundBarAndStatus)
{
    TheResPack().Load();
    std::vector<uint8_t> text;
    ASSERT_TRUE(TheResPack().GetFile(u"SplashScreen.xml", text));
    SkinDocument document;
    ASSERT_TRUE(ParseSkinDocument(text, u"Default", document));
    LoadSkinPictures(document);
    ASSERT_EQ(document.Images.size(), 1u);
    ASSERT_NE(document.Images[0].Picture, nullptr);
    const std::shared_ptr<xImage> bar = LoadSkinPicture("loading_bar.png");
    ASSERT_NE(bar, nullptr);

    SplashInputs inputs;
    inputs.State = PackageUpdateDownloading;
    inputs.Busy = true;
    inputs.Progress = 0.5f;
    const SplashView view = ChooseSplashView(inputs);

    // The background alone, to see what the bar and the line changed.
    xDibSurface background(591, 304);
    xDibSurface splash(591, 304);
    ASSERT_TRUE(background.IsValid() && splash.IsValid());
    {
        xCanvasGdiPlus canvas(background.Dc());
        PaintSkinContent(canvas, document);
    }
    {
        xCanvasGdiPlus canvas(splash.Dc());
        PaintSkinContent(canvas, document, [&](xCanvas& extra) { PaintSplash(extra, view, bar.get(), 591); });
    }
    Dump(splash, "splash");
    GdiFlush();
    EXPECT_EQ(background.Pixel(300, 100) >> 24, 0xFFu) << "the background is drawn, opaque inside";

    // 207 of the bar's 415 columns, pixel for pixel, at (87, 175).
    int32_t mismatches = 0;
    for (int32_t y = 175; y < 182; ++y)
        for (int32_t x = 87; x < 87 + 207; ++x)
            if (splash.Pixel(x, y) != PicturePixel(*bar, x - 87, y - 175) && mismatches++ < 3)
                ADD_FAILURE() << "bar pixel " << x << "," << y << ": " << std::hex << splash.Pixel(x, y);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(splash.Pixel(87 + 207, 178), background.Pixel(87 + 207, 178)) << "the bar goes no further";

    // The white line at (440, 200, 500 x 20): changed pixels inside it, near white.
    const Box line = ChangedBox(
        splash,
        [&](int32_t x, int32_t y) {
            return Box{87, 175, 87 + 207, 182}.Contains(x, y) ? splash.Pixel(x, y) : background.Pixel(x, y);
        });
    ASSERT_LT(line.Left, line.Right) << "no status line drawn";
    EXPECT_GE(line.Left, 440);
    EXPECT_GE(line.Top, 200);
    EXPECT_LE(line.Bottom, 220);
    EXPECT_GT(line.Right - line.Left, 40) << "\"下载进度 50 %\" is wider than a few letters";
    uint32_t brightest = 0;
    for (int32_t y = line.Top; y < line.Bottom; ++y)
        for (int32_t x = line.Left; x < line.Right; ++x)
            brightest = std::max(brightest, splash.Pixel(x, y) & 0xFFu);
    EXPECT_GE(brightest, 0xF0u) << "white text";
}

TEST(SkinPainterGdiPlus, LongLineEndsInAnEllipsisAtTheRightEdge)
{
    // Chinese letters fill their cell from top to bottom; the ellipsis' dots are
    // a thin band, so the last columns show which one ended the line.
    const xWString longText = u"正在检查客户端文件请稍候正在检查客户端文件请稍候正在检查客户端文件请稍候";
    const xTextRect rect = {40.0f, 100.0f, 160.0f, 20.0f};
    xDibSurface surface(300, 200);
    ASSERT_TRUE(surface.IsValid());
    {
        xCanvasGdiPlus canvas(surface.Dc());
        canvas.DrawTextLine(longText, 0x00FFFFFF, rect, xSkinFont::Normal);
        EXPECT_EQ(canvas.LastStatus(), Gdiplus::Ok);
    }
    Dump(surface, "ellipsis");
    const Box painted = PaintedBox(surface);
    ASSERT_LT(painted.Left, painted.Right) << "nothing drawn";
    EXPECT_LE(painted.Right, 200) << "text beyond the rectangle";
    EXPECT_GE(painted.Right, 200 - 16) << "the line stops well before the edge";
    int32_t top = painted.Bottom;
    int32_t bottom = painted.Top;
    for (int32_t y = painted.Top; y < painted.Bottom; ++y)
        for (int32_t x = painted.Right - 3; x < painted.Right; ++x)
            if (surface.Pixel(x, y) != 0)
            {
                top = std::min(top, y);
                bottom = std::max(bottom, y + 1);
            }
    EXPECT_LE(bottom - top, 4) << "the last columns are a letter, not the ellipsis' last dot (rows " << top
                               << " to " << bottom << ")";
}
