#include "ResPack.h"

#include "xImageDecoder.h"
#include "Windows/xCanvasGdiPlus.h"
#include "SurfaceChecks.h"

#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include <windows.h>

namespace
{
std::shared_ptr<xImage> LoadBar()
{
    ResPack& pack = TheResPack();
    pack.Load();
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(pack.GetFile(u"loading_bar.png", bytes));
    return DecodeImage(bytes);
}
} // namespace

TEST(CanvasGdiPlus, PicturesLandPixelForPixelAndNothingElseChanges)
{
    std::shared_ptr<xImage> bar = LoadBar();
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(bar->Width(), 415);
    ASSERT_EQ(bar->Height(), 7);

    struct Case
    {
        const char* What;
        int32_t X, Y, SourceX, Width;
        Box Expected;
    };
    // The splash bar's place, the bar cut to its first 100 columns, and 50
    // columns taken from the middle of the picture.
    const Case cases[] = {
        {"whole bar", 87, 175, 0, 415, {87, 175, 502, 182}},
        {"first 100 columns", 87, 175, 0, 100, {87, 175, 187, 182}},
        {"columns 200 to 249", 10, 20, 200, 50, {10, 20, 60, 27}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        xDibSurface surface(591, 304);
        ASSERT_TRUE(surface.IsValid());
        {
            xCanvasGdiPlus canvas(surface.Dc());
            canvas.DrawImagePart(*bar, c.X, c.Y, c.SourceX, 0, c.Width, bar->Height());
            EXPECT_EQ(canvas.LastStatus(), Gdiplus::Ok);
        }
        if (c.Width == 415)
            Dump(surface, "bar");
        EXPECT_EQ(PaintedBox(surface).Corners(), c.Expected.Corners());
        // Each pixel inside is the picture's own (the bar is opaque).
        int32_t mismatches = 0;
        for (int32_t y = c.Expected.Top; y < c.Expected.Bottom; ++y)
            for (int32_t x = c.Expected.Left; x < c.Expected.Right; ++x)
            {
                const uint32_t want = PicturePixel(*bar, c.SourceX + x - c.X, y - c.Y);
                if (surface.Pixel(x, y) != want && mismatches++ < 3)
                    ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << surface.Pixel(x, y)
                                  << " instead of the picture's " << want;
            }
        EXPECT_EQ(mismatches, 0);
    }
}

TEST(CanvasGdiPlus, TextStaysOnOneLineInsideItsRectangle)
{
    ASSERT_TRUE(xGdiPlus::Start());
    for (const xSkinFont font : {xSkinFont::Normal, xSkinFont::Large})
        ASSERT_NE(xGdiPlus::Font(font), nullptr) << "no family and no sans-serif fallback";

    const xWString shortText = u"正在更新 Updating 42%";
    const xWString longText =
        u"The client files are being checked one after another, 正在检查客户端文件，请稍候 ...";
    struct Case
    {
        const char* What;
        const xWString* Text;
        xTextRect Rect;
        xSkinFont Font;
    };
    // A 60 px tall box shows whether the text wrapped onto more lines.
    const Case cases[] = {
        {"short, normal font", &shortText, {40.0f, 100.0f, 400.0f, 20.0f}, xSkinFont::Normal},
        {"short, large font", &shortText, {40.0f, 130.0f, 400.0f, 20.0f}, xSkinFont::Large},
        {"long, cut with an ellipsis", &longText, {40.0f, 200.0f, 160.0f, 60.0f}, xSkinFont::Normal},
    };
    xDibSurface all(591, 304);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        xDibSurface surface(591, 304);
        ASSERT_TRUE(surface.IsValid());
        {
            xCanvasGdiPlus canvas(surface.Dc());
            canvas.DrawTextLine(*c.Text, 0x00FFFFFF, c.Rect, c.Font);
            EXPECT_EQ(canvas.LastStatus(), Gdiplus::Ok);
            xCanvasGdiPlus picture(all.Dc());
            picture.DrawTextLine(*c.Text, 0x00FFFFFF, c.Rect, c.Font);
        }
        const Box painted = PaintedBox(surface);
        ASSERT_LT(painted.Left, painted.Right) << "nothing drawn";
        EXPECT_GE(painted.Left, int32_t(c.Rect.X));
        EXPECT_GE(painted.Top, int32_t(c.Rect.Y));
        EXPECT_LE(painted.Right, int32_t(c.Rect.X + c.Rect.Width)) << "text beyond the right edge";
        EXPECT_LE(painted.Bottom, int32_t(c.Rect.Y + c.Rect.Height));
        EXPECT_LE(painted.Bottom - painted.Top, 20) << "more than one line";
        // Centred vertically: as much room above as below, give or take the
        // difference between ascent and descent.
        const float above = float(painted.Top) - c.Rect.Y;
        const float below = c.Rect.Y + c.Rect.Height - float(painted.Bottom);
        EXPECT_NEAR(above, below, 6.0f);
    }
    Dump(all, "text");
}

TEST(CanvasGdiPlus, MeasuredWidthGrowsWithTheText)
{
    xDibSurface surface(16, 16);
    xCanvasGdiPlus canvas(surface.Dc());
    const float one = canvas.MeasureTextWidth(u"W", xSkinFont::Normal);
    const float four = canvas.MeasureTextWidth(u"WWWW", xSkinFont::Normal);
    EXPECT_GT(one, 0.0f);
    EXPECT_GT(four, one);
    EXPECT_GT(canvas.MeasureTextWidth(u"WWWWWWWW", xSkinFont::Normal), four);
    EXPECT_GT(canvas.MeasureTextWidth(u"WWWW", xSkinFont::Large), four) << "14 px against 12 px";
    EXPECT_GT(canvas.MeasureTextWidth(u"更新", xSkinFont::Normal), 0.0f);
}

TEST(CanvasGdiPlus, RepeatedDrawingLeaksNoGdiObjects)
{
    std::vector<uint8_t> bytes;
    TheResPack().Load();
    ASSERT_TRUE(TheResPack().GetFile(u"loading_bar.png", bytes));
    // The context and bitmap of the last round, to see that they are gone.
    HDC lastDc = nullptr;
    HGDIOBJ lastBitmap = nullptr;
    auto round = [&]
    {
        std::shared_ptr<xImage> bar = DecodeImage(bytes);
        ASSERT_NE(bar, nullptr);
        xDibSurface surface(120, 24);
        ASSERT_TRUE(surface.IsValid());
        lastDc = surface.Dc();
        lastBitmap = GetCurrentObject(lastDc, OBJ_BITMAP);
        xCanvasGdiPlus canvas(surface.Dc());
        canvas.DrawImage(*bar, 0, 0);
        canvas.DrawTextLine(u"42%", 0x00FFFFFF, {0.0f, 4.0f, 120.0f, 20.0f}, xSkinFont::Normal);
        canvas.MeasureTextWidth(u"42%", xSkinFont::Large);
    };
    round(); // GDI+ and the fonts start once and stay
    // Wine answers 0 here; Windows counts every object of the process.
    const DWORD before = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    for (int i = 0; i < 1000; ++i)
        round();
    const DWORD after = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    EXPECT_LE(after, before + 5) << "GDI objects before " << before << ", after " << after;
    EXPECT_EQ(GetObjectType(lastDc), 0u) << "memory context still alive";
    EXPECT_EQ(GetObjectType(lastBitmap), 0u) << "DIB section still alive";
}
