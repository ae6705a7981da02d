#include "SkinPainter.h"

#include "ResPack.h"
#include "SkinLayout.h"
#include "xImageDecoder.h"

#include <map>
#include <string>
#include <vector>

std::shared_ptr<xImage> LoadSkinPicture(const xString& path)
{
    if (path.IsEmpty())
        return nullptr;
    std::vector<uint8_t> bytes;
    if (!TheResPack().GetFile(xWString(path), bytes) || bytes.empty())
        return nullptr;
    return DecodeImage(bytes);
}

void LoadSkinPictures(SkinDocument& document, const SkinPictureLoader& load)
{
    // The documents name one picture for several faces (hover and click alike).
    std::map<std::string, std::shared_ptr<xImage>> loaded;
    auto picture = [&](const xString& path)
    {
        if (path.IsEmpty())
            return std::shared_ptr<xImage>();
        auto found = loaded.find(path.c_str());
        if (found == loaded.end())
            found = loaded.emplace(path.c_str(), load(path)).first;
        return found->second;
    };
    for (SkinImage& image : document.Images)
        image.Picture = picture(image.Path);
    for (SkinButton& button : document.Buttons)
    {
        button.NormalFace = picture(button.NormalPath);
        button.HoverFace = picture(button.HoverPath);
        button.ClickFace = picture(button.ClickPath);
    }
}

void PaintSkinContent(xCanvas& canvas, const SkinDocument& document,
                      const std::function<void(xCanvas&)>& paintExtra)
{
    for (const SkinImage& image : document.Images)
        if (image.Picture)
            canvas.DrawImage(*image.Picture, image.Left, image.Top);
    if (paintExtra)
        paintExtra(canvas);
    for (const SkinButton& button : document.Buttons)
    {
        if (!button.Visible)
            continue;
        const SkinFace face = ChooseButtonFace(button);
        if (face.Picture != nullptr)
            canvas.DrawImage(*face.Picture, face.Left, face.Top);
    }
}

void DrawSkinText(xCanvas& canvas, const xWString& text, uint32_t colour, const xTextRect& rect, bool large)
{
    canvas.DrawTextLine(text, colour, rect, large ? xSkinFont::Large : xSkinFont::Normal);
}

void PaintSplash(xCanvas& canvas, const SplashView& view, const xImage* bar, int32_t windowWidth)
{
    if (view.ShowBar && bar != nullptr)
        canvas.DrawImagePart(*bar, view.BarX, view.BarY, 0, 0, SplashBarWidth(view.BarFraction, bar->Width()),
                             bar->Height());
    auto line = [&](const xWString& text, float x, int32_t y)
    {
        if (!text.IsEmpty())
            DrawSkinText(canvas, text, SplashTextColour,
                         {x, float(y), float(SplashTextWidth), float(SplashTextHeight)}, false);
    };
    auto centred = [&](const xWString& text)
    { return float(CentredTextX(windowWidth, canvas.MeasureTextWidth(text, xSkinFont::Normal))); };
    if (!view.SelfUpdateLayout)
    {
        if (view.CentreStatus)
            line(view.Status, centred(view.Status), SplashFailureY);
        else
            line(view.Status, float(SplashStatusX), SplashStatusY);
        line(view.Notice, centred(view.Notice), SplashNoticeY);
        line(view.Rate, float(SplashRateX), SplashRateY);
        return;
    }
    line(view.Rate, centred(view.Rate), SplashRateY);
    line(view.Status, centred(view.Status), SplashSelfUpdateStatusY);
    line(view.Download, centred(view.Download), SplashSelfUpdateDownloadY);
}
