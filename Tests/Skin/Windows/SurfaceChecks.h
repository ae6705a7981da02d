#pragma once

#include "Windows/xCanvasGdiPlus.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include <windows.h>

// What the Wine canvas tests look at in a painted surface.

struct Box
{
    int32_t Left, Top, Right, Bottom; // Right and Bottom just outside
    bool Contains(int32_t x, int32_t y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
};

// The picture's own pixel as 0xAARRGGBB, read back through GDI+.
inline uint32_t PicturePixel(const xImage& image, int32_t x, int32_t y)
{
    Gdiplus::ARGB argb = 0;
    auto* bitmap = static_cast<Gdiplus::GpBitmap*>(dynamic_cast<const xGdiPlusImage&>(image).Get());
    Gdiplus::DllExports::GdipBitmapGetPixel(bitmap, x, y, &argb);
    return argb;
}

// Where the pixels differ from `reference` (by default transparent black), as
// the smallest box around them; empty (Left == Right) when none do.
template <typename Reference> Box ChangedBox(const xDibSurface& surface, Reference reference)
{
    GdiFlush();
    Box box = {surface.Width(), surface.Height(), 0, 0};
    for (int32_t y = 0; y < surface.Height(); ++y)
        for (int32_t x = 0; x < surface.Width(); ++x)
            if (surface.Pixel(x, y) != reference(x, y))
            {
                box.Left = std::min(box.Left, x);
                box.Top = std::min(box.Top, y);
                box.Right = std::max(box.Right, x + 1);
                box.Bottom = std::max(box.Bottom, y + 1);
            }
    if (box.Right == 0)
        box = {0, 0, 0, 0};
    return box;
}

inline Box PaintedBox(const xDibSurface& surface)
{
    return ChangedBox(surface, [](int32_t, int32_t) { return 0u; });
}

// Whether `at` holds the picture's own pixels; the first few that differ are reported.
inline bool ShowsPicture(const xDibSurface& surface, const xImage& picture, Box at)
{
    GdiFlush();
    int32_t mismatches = 0;
    for (int32_t y = at.Top; y < at.Bottom; ++y)
        for (int32_t x = at.Left; x < at.Right; ++x)
        {
            const uint32_t want = PicturePixel(picture, x - at.Left, y - at.Top);
            if (surface.Pixel(x, y) != want && mismatches++ < 3)
                ADD_FAILURE() << "pixel " << x << "," << y << ": " << std::hex << surface.Pixel(x, y)
                              << " instead of the picture's " << want;
        }
    return mismatches == 0;
}
