#pragma once

#include "xCanvas.h"

#include <cstdint>
#include <tuple>
#include <vector>

// A canvas that draws nothing and remembers every call in order, so a test can
// check what a window paints without a screen.
class RecordingCanvas : public xCanvas
{
public:
    struct ImageDraw
    {
        const xImage* Picture = nullptr;
        int32_t X = 0, Y = 0;
        int32_t SourceX = 0, SourceY = 0, Width = 0, Height = 0;
        // Which picture, where, from which source corner, at what size.
        auto Tuple() const { return std::make_tuple(Picture, X, Y, SourceX, SourceY, Width, Height); }
    };
    struct TextDraw
    {
        xWString Text;
        uint32_t Colour = 0;
        xTextRect Rect;
        xSkinFont Font = xSkinFont::Normal;
    };
    // Which list each call went to, in call order: true for an image.
    std::vector<bool> Order;
    std::vector<ImageDraw> Images;
    // Scaled pictures: the source is the whole picture, Width x Height the target size.
    std::vector<ImageDraw> Stretched;
    std::vector<TextDraw> Texts;

    // Every code unit counts this many pixels, whatever the font: widths stay easy
    // to work out by hand in the tests.
    static constexpr float PixelsPerCodeUnit = 6.0f;

    void DrawImagePart(const xImage& image, int32_t x, int32_t y, int32_t sourceX, int32_t sourceY,
                       int32_t width, int32_t height) override
    {
        Order.push_back(true);
        Images.push_back({&image, x, y, sourceX, sourceY, width, height});
    }
    void DrawImageStretched(const xImage& image, int32_t x, int32_t y, int32_t width, int32_t height) override
    {
        Stretched.push_back({&image, x, y, 0, 0, width, height});
    }
    void DrawTextLine(const xWString& text, uint32_t colour, const xTextRect& rect, xSkinFont font) override
    {
        Order.push_back(false);
        Texts.push_back({text, colour, rect, font});
    }
    float MeasureTextWidth(const xWString& text, xSkinFont) override
    {
        return PixelsPerCodeUnit * static_cast<float>(text.Length());
    }
};
