#include "EngineText.h"
#include "RecordingCanvas.h"
#include "SkinPainter.h"
#include "SplashView.h"
#include "PackageProgress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace
{
// A picture of a size and no pixels.
class SizedPicture : public xImage
{
public:
    SizedPicture(int32_t width, int32_t height) : PictureWidth(width), PictureHeight(height) {}
    int32_t Width() const override { return PictureWidth; }
    int32_t Height() const override { return PictureHeight; }

private:
    int32_t PictureWidth, PictureHeight;
};

std::shared_ptr<xImage> Picture(int32_t width, int32_t height)
{
    return std::make_shared<SizedPicture>(width, height);
}
} // namespace

TEST(SkinPainter, ImagesThenExtraThenVisibleButtonFaces)
{
    SkinDocument document;
    const auto background = Picture(300, 200), logo = Picture(40, 30);
    document.Images = {{"bg.png", 0, 0, background}, {"gone.png", 5, 5, nullptr}, {"logo.png", 10, 20, logo}};

    const auto normal = Picture(20, 10), hover = Picture(21, 11), click = Picture(22, 12);
    // Offsets 2 (hover) and 3 (click); a missing face falls back to the normal one, shifted all the same.
    const struct
    {
        SkinButtonState State;
        std::shared_ptr<xImage> Hover, Click;
        const xImage* Face;
        int32_t Offset;
    } cases[] = {
        {SkinButtonState::Normal, hover, click, normal.get(), 0},
        {SkinButtonState::Hover, hover, click, hover.get(), 2},
        {SkinButtonState::Click, hover, click, click.get(), 3},
        {SkinButtonState::Hover, nullptr, click, normal.get(), 2},
        {SkinButtonState::Click, hover, nullptr, normal.get(), 3},
    };
    for (const auto& c : cases)
    {
        SkinButton button;
        button.Rect = {100 + 30 * int32_t(&c - cases), 50, 0, 0};
        button.NormalFace = normal;
        button.HoverFace = c.Hover;
        button.ClickFace = c.Click;
        button.OffsetHover = 2;
        button.OffsetClick = 3;
        button.State = c.State;
        document.Buttons.push_back(button);
    }
    SkinButton hidden, faceless;
    hidden.Rect = {7, 7, 27, 17};
    hidden.NormalFace = normal;
    hidden.Visible = false;
    faceless.Rect = {9, 9, 29, 19};
    faceless.State = SkinButtonState::Hover;
    document.Buttons.insert(document.Buttons.begin() + 2, hidden);
    document.Buttons.push_back(faceless);

    RecordingCanvas canvas;
    PaintSkinContent(canvas, document,
                     [](xCanvas& extra) { extra.DrawTextLine(u"extra", 0, {}, xSkinFont::Large); });

    ASSERT_EQ(canvas.Images.size(), 2 + std::size(cases));
    ASSERT_EQ(canvas.Texts.size(), 1u);
    std::vector<bool> order(2 + 1 + std::size(cases), true);
    order[2] = false;
    EXPECT_EQ(canvas.Order, order) << "images, then the extra paint, then the buttons";
    // Each at the picture's own size.
    EXPECT_EQ(canvas.Images[0].Tuple(), std::make_tuple(background.get(), 0, 0, 0, 0, 300, 200));
    EXPECT_EQ(canvas.Images[1].Tuple(), std::make_tuple(logo.get(), 10, 20, 0, 0, 40, 30));
    for (const auto& c : cases)
    {
        const int32_t index = int32_t(&c - cases);
        EXPECT_EQ(canvas.Images[2 + index].Tuple(),
                  std::make_tuple(c.Face, 100 + 30 * index + c.Offset, 50 + c.Offset, 0, 0, c.Face->Width(),
                                  c.Face->Height()))
            << index;
    }
}

TEST(SkinPainter, SplashDrawsItsBarAndLines)
{
    const auto bar = Picture(415, 7);
    SplashInputs started, selfUpdate, fontFailed;
    started.State = PackageUpdateStarted;
    fontFailed.State = PackageUpdateDownloading;
    fontFailed.Busy = fontFailed.FontFailed = true;
    fontFailed.Progress = static_cast<float>(std::sin(3.14159265358979 / 4)); // half the bytes, eased
    selfUpdate.SelfUpdate = true; // whatever the update does meanwhile
    selfUpdate.State = PackageUpdateFailed;
    selfUpdate.LauncherBytesReceived = 500;
    selfUpdate.LauncherFileSize = 1000;
    for (SplashInputs* moving : {&fontFailed, &selfUpdate})
    {
        moving->BytesPerSecond = 2 << 20;
        moving->SecondsLeft = 30;
    }
    struct Line
    {
        const char16_t* Text;
        float X, Y;
    };
    // Which texts and bar lengths is ChooseSplashView's (its table); here where they go. Centred lines take
    // 6 px a code unit: 15 above the bar, and in the self-update's 591 px "正在更新微端" at 277 and
    // "下载进度 50 %" at 268; the rate line "2.0 MB/s · 剩余 30 秒" under the bar at 241.
    const struct
    {
        const char* What;
        const SplashInputs& Inputs;
        bool HasBar;
        std::vector<int32_t> Bar; // x, y, pixels; empty: no bar drawn
        std::vector<Line> Lines;
    } cases[] = {
        {"started", started, true, {87, 175, 1}, {{u"正在与服务器连接", 440, 200}}},
        {"no bar picture", started, false, {}, {{u"正在与服务器连接", 440, 200}}},
        {"no font",
         fontFailed,
         true,
         {87, 175, 293},
         {{u"下载进度 71 %", 440, 200},
          {u"字体安装失败，文字可能显示异常", 250, 145},
          {u"2.0 MB/s · 剩余 30 秒", 87, 200}}},
        {"self-update",
         selfUpdate,
         true,
         {87, 175, 207},
         {{u"2.0 MB/s · 剩余 30 秒", 241, 200}, {u"正在更新微端", 277, 136}, {u"下载进度 50 %", 268, 116}}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.What);
        RecordingCanvas canvas;
        PaintSplash(canvas, ChooseSplashView(c.Inputs), c.HasBar ? bar.get() : nullptr, 591);
        ASSERT_EQ(canvas.Images.size(), c.Bar.empty() ? 0u : 1u);
        for (const RecordingCanvas::ImageDraw& draw : canvas.Images)
            EXPECT_EQ(draw.Tuple(), std::make_tuple(bar.get(), c.Bar[0], c.Bar[1], 0, 0, c.Bar[2], 7));
        ASSERT_EQ(canvas.Texts.size(), c.Lines.size());
        for (size_t i = 0; i < c.Lines.size(); ++i)
        {
            const RecordingCanvas::TextDraw& t = canvas.Texts[i];
            EXPECT_EQ(
                std::make_tuple(t.Text, t.Colour, t.Font, t.Rect.X, t.Rect.Y, t.Rect.Width, t.Rect.Height),
                std::make_tuple(xWString(c.Lines[i].Text), 0x00FFFFFFu, xSkinFont::Normal, c.Lines[i].X,
                                c.Lines[i].Y, 500.0f, 20.0f));
        }
    }
}
