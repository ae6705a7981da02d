#include "PackageProgress.h"
#include "ShippedSkin.h"
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
    SkinDocument document = ShippedDocument(u"SplashScreen.xml");
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
    GdiFlush();
    EXPECT_EQ(background.Pixel(300, 100) >> 24, 0xFFu) << "the background is drawn, opaque inside";

    // 207 of the bar's 415 columns, pixel for pixel, at (87, 175).
    EXPECT_TRUE(ShowsPicture(splash, *bar, {87, 175, 87 + 207, 182}));
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
