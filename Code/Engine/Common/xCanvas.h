#pragma once

#include "xImage.h"
#include "xString.h"

#include <cstdint>

// The two faces all skin text is drawn with.
enum class xSkinFont
{
    Normal, // 宋体 12 px
    Large,  // 黑体 14 px
};

// A layout rectangle in pixels, as floats like the text layout takes it.
struct xTextRect
{
    float X = 0.0f;
    float Y = 0.0f;
    float Width = 0.0f;
    float Height = 0.0f;
};

// What the skinned windows paint through: pictures unscaled, one-line texts,
// text widths. Each backend draws only the pictures it decoded itself; others
// are skipped, like a missing picture. Drawing failures are not reported.
class xCanvas
{
public:
    virtual ~xCanvas() = default;

    // The part (sourceX, sourceY, width, height) of the picture with its top-left
    // corner at (x, y), pixel for pixel.
    virtual void DrawImagePart(const xImage& image, int32_t x, int32_t y, int32_t sourceX, int32_t sourceY,
                               int32_t width, int32_t height) = 0;
    // The whole picture scaled (bilinear) to width x height at (x, y); its edges
    // repeat rather than fade, so a stretched border stays solid.
    virtual void DrawImageStretched(const xImage& image, int32_t x, int32_t y, int32_t width,
                                    int32_t height) = 0;
    void DrawImage(const xImage& image, int32_t x, int32_t y)
    {
        DrawImagePart(image, x, y, 0, 0, image.Width(), image.Height());
    }

    // One line, left-aligned and centred vertically in the rectangle, ending in
    // an ellipsis when it does not fit. `colour` is 0x00BBGGRR, drawn opaque.
    virtual void DrawTextLine(const xWString& text, uint32_t colour, const xTextRect& rect,
                              xSkinFont font) = 0;

    // The width the text takes in a 200 x 200 layout box.
    virtual float MeasureTextWidth(const xWString& text, xSkinFont font) = 0;
};
