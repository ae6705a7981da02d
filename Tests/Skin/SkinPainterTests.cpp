#include "EngineText.h"
#include "RecordingCanvas.h"
#include "ResPack.h"
#include "SkinPainter.h"
#include "SplashView.h"
#include "PackageProgress.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace
{
class SizedPicture : public xImage
{
public:
    SizedPicture(int32_t width, int32_t height) : PictureWidth(width), PictureHeight(height) {}
    int32_t Width() const override { return PictureWidth; }
    int32_t Height() const override { return PictureHeight; }

private:
    int32_t PictureWidth;
    int32_t PictureHeight;
};

std::shared_ptr<xImage> Picture(int32_t width, int32_t height)
{
    return std::make_shared<SizedPicture>(width, height);
}
} // namespace

TEST(SkinPainter, ImagesThenExtraThenVisibleButtonFaces)
{
    SkinDocument document;
    const auto background = Picture(300, 200);
    const auto logo = Picture(40, 30);
    document.Images = {{"bg.png", 0, 0, background}, {"gone.png", 5, 5, nullptr}, {"logo.png", 10, 20, logo}};

    const auto normal = Picture(20, 10);
    const auto hover = Picture(21, 11);
    const auto click = Picture(22, 12);
    struct Case
    {
        SkinButtonState State;
        bool OwnFaces; // hover and click faces present
        const xImage* Face;
        int32_t Offset;
    };
    // Offsets 2 (hover) and 3 (click); a missing face falls back to the normal
    // one, shifted all the same.
    const Case cases[] = {
        {SkinButtonState::Normal, true, normal.get(), 0}, {SkinButtonState::Hover, true, hover.get(), 2},
        {SkinButtonState::Click, true, click.get(), 3},   {SkinButtonState::Normal, false, normal.get(), 0},
        {SkinButtonState::Hover, false, normal.get(), 2}, {SkinButtonState::Click, false, normal.get(), 3},
    };
    for (const Case& c : cases)
    {
        SkinButton button;
        button.Rect = {100 + 30 * int32_t(&c - cases), 50, 0, 0};
        button.NormalFace = normal;
        if (c.OwnFaces)
        {
            button.HoverFace = hover;
            button.ClickFace = click;
        }
        button.OffsetHover = 2;
        button.OffsetClick = 3;
        button.State = c.State;
        document.Buttons.push_back(button);
    }
    SkinButton hidden;
    hidden.Rect = {7, 7, 27, 17};
    hidden.NormalFace = normal;
    hidden.Visible = false;
    SkinButton faceless;
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

    const RecordingCanvas::ImageDraw& first = canvas.Images[0];
    const RecordingCanvas::ImageDraw& second = canvas.Images[1];
    EXPECT_EQ(first.Picture, background.get());
    EXPECT_EQ(second.Picture, logo.get());
    EXPECT_EQ(second.X, 10);
    EXPECT_EQ(second.Y, 20);
    EXPECT_EQ(second.Width, 40) << "at the picture's own size";
    EXPECT_EQ(second.Height, 30);
    for (const Case& c : cases)
    {
        const size_t index = size_t(&c - cases);
        SCOPED_TRACE(index);
        const RecordingCanvas::ImageDraw& draw = canvas.Images[2 + index];
        EXPECT_EQ(draw.Picture, c.Face);
        EXPECT_EQ(draw.X, 100 + 30 * int32_t(index) + c.Offset);
        EXPECT_EQ(draw.Y, 50 + c.Offset);
        EXPECT_EQ(draw.Width, c.Face->Width());
        EXPECT_EQ(draw.Height, c.Face->Height());
    }
}

TEST(SkinPainter, SplashDrawsItsBarAndLines)
{
    const auto bar = Picture(415, 7);
    const float eased = static_cast<float>(std::sin(3.14159265358979 / 4)); // half the bytes
    struct Line
    {
        const char16_t* Text;
        float X, Y;
    };
    struct Case
    {
        const char* What;
        SplashInputs Inputs;
        bool HasBar;
        int32_t BarX, BarY, BarPixels; // BarPixels 0: no bar drawn
        std::vector<Line> Lines;
    };
    SplashInputs started, downloading, failed, selfUpdate;
    started.State = PackageUpdateStarted;
    downloading.State = PackageUpdateDownloading;
    downloading.Busy = true;
    downloading.Progress = eased;
    failed.State = PackageUpdateFailed;
    failed.RetrySeconds = 30;
    selfUpdate.SelfUpdate = true;
    selfUpdate.LauncherBytesReceived = 500;
    selfUpdate.LauncherFileSize = 1000;
    // Self-update lines are centred in 591 px with 6 px a code unit:
    // "正在更新微端" 36 px at 277, "下载进度 50 %" 54 px at 268.
    const Case cases[] = {
        {"started", started, true, 87, 175, 1, {{u"正在与服务器连接", 440, 200}}},
        {"downloading", downloading, true, 87, 175, 293, {{u"下载进度 71 %", 440, 200}}},
        {"failed", failed, true, 0, 0, 0, {{u"更新失败，30 秒后自动重试", 440, 200}}},
        {"no bar picture", downloading, false, 0, 0, 0, {{u"下载进度 71 %", 440, 200}}},
        {"self-update",
         selfUpdate,
         true,
         64,
         71,
         207,
         {{u"正在更新微端", 277, 136}, {u"下载进度 50 %", 268, 116}}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        RecordingCanvas canvas;
        PaintSplash(canvas, ChooseSplashView(c.Inputs), c.HasBar ? bar.get() : nullptr, 591);
        if (c.BarPixels == 0)
            EXPECT_TRUE(canvas.Images.empty());
        else
        {
            ASSERT_EQ(canvas.Images.size(), 1u);
            const RecordingCanvas::ImageDraw& draw = canvas.Images[0];
            EXPECT_EQ(draw.Picture, bar.get());
            EXPECT_EQ(draw.X, c.BarX);
            EXPECT_EQ(draw.Y, c.BarY);
            EXPECT_EQ(draw.SourceX, 0);
            EXPECT_EQ(draw.SourceY, 0);
            EXPECT_EQ(draw.Width, c.BarPixels);
            EXPECT_EQ(draw.Height, 7);
        }
        ASSERT_EQ(canvas.Texts.size(), c.Lines.size());
        for (size_t i = 0; i < c.Lines.size(); ++i)
        {
            const RecordingCanvas::TextDraw& text = canvas.Texts[i];
            EXPECT_EQ(text.Text, xWString(c.Lines[i].Text));
            EXPECT_EQ(text.Colour, 0x00FFFFFFu);
            EXPECT_EQ(text.Font, xSkinFont::Normal);
            EXPECT_EQ(text.Rect.X, c.Lines[i].X);
            EXPECT_EQ(text.Rect.Y, c.Lines[i].Y);
            EXPECT_EQ(text.Rect.Width, 500.0f);
            EXPECT_EQ(text.Rect.Height, 20.0f);
        }
    }
}

TEST(SkinPainter, ShippedMainFrameGetsEveryPictureOnce)
{
    ResPack& pack = TheResPack();
    pack.Load();
    std::vector<uint8_t> text;
    ASSERT_TRUE(pack.GetFile(u"MainFrame.xml", text));
    SkinDocument document;
    ASSERT_TRUE(ParseSkinDocument(text, u"Default", document));

    std::map<std::string, int> asked;
    LoadSkinPictures(document,
                     [&](const xString& path)
                     {
                         ++asked[path.c_str()];
                         return LoadSkinPicture(path);
                     });
    for (const auto& [path, times] : asked)
        EXPECT_EQ(times, 1) << path << " loaded again";

    ASSERT_EQ(document.Images.size(), 1u);
    ASSERT_NE(document.Images[0].Picture, nullptr);
    EXPECT_EQ(document.Images[0].Picture->Width(), 1280);
    EXPECT_EQ(document.Images[0].Picture->Height(), 829);
    ASSERT_EQ(document.Buttons.size(), 7u);
    for (const SkinButton& button : document.Buttons)
    {
        SCOPED_TRACE(button.Id.c_str());
        ASSERT_NE(button.NormalFace, nullptr);
        EXPECT_NE(button.HoverFace, nullptr);
        EXPECT_NE(button.ClickFace, nullptr);
        EXPECT_EQ(button.NormalFace->Width(), button.Rect.Width());
        EXPECT_EQ(button.NormalFace->Height(), button.Rect.Height());
        if (button.HoverPath == button.ClickPath)
        {
            EXPECT_EQ(button.HoverFace, button.ClickFace) << "one picture shared";
        }
    }

    EXPECT_EQ(LoadSkinPicture(""), nullptr);
    EXPECT_EQ(LoadSkinPicture("no-such-picture.png"), nullptr);
}
