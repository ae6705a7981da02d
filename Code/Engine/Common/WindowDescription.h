#pragma once

#include "xString.h"

#include <cstdint>

// What a skin document says about its native window: size, shape, frame and
// behaviour. The skin loader fills it; the windowing layer turns it into a
// window. Fields a document leaves out are zero, false and an opacity of 1.
struct WindowDescription
{
    int32_t Type = 0;
    int32_t XDesiredPositionOnScreen = 0;
    int32_t YDesiredPositionOnScreen = 0;
    // Client size.
    int32_t WidthDesiredOnScreen = 0;
    int32_t HeightDesiredOnScreen = 0;
    // 0: square corners.
    int32_t CornerRadius = 0;
    int32_t MinWidth = 0;
    int32_t MinHeight = 0;
    int32_t MaxWidth = 0;
    int32_t MaxHeight = 0;
    // 0: opaque, painted by copy; non-zero: layered with per-pixel alpha
    // (1 also applies Opacity, 2 never rounds the corners).
    int32_t Transparency = 0;
    bool HasOSWindowBorder = false;
    bool IsInTaskbar = false;
    bool IsTopmostWindow = false;
    bool ActivateWhenFirstShown = false;
    bool FocusWhenFirstShown = false;
    bool HasCloseButton = false;
    bool HasMinimize = false;
    bool HasMaximize = false;
    bool HasSizingFrame = false;
    bool IsModalWindow = false;
    bool IsRegularWindow = false;
    xWString Title;
    float Opacity = 1.0f;
};
