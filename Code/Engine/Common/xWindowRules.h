#pragma once

#include "WindowDescription.h"

#include <climits>
#include <cstdint>

// The arithmetic behind native windows, as plain values: which styles a
// description asks for, which region shapes a window, where a centred window
// lands and how size limits reach the system. The Windows layer only applies
// the answers.

// Window arithmetic far outside any screen stays finite instead of wrapping.
inline int32_t ClampToInt32(int64_t value)
{
    return static_cast<int32_t>(value > INT32_MAX ? INT32_MAX : value < INT32_MIN ? INT32_MIN : value);
}
inline int32_t SaturatingAdd(int32_t a, int32_t b)
{
    return ClampToInt32(static_cast<int64_t>(a) + b);
}
// to - from: a size from two edges.
inline int32_t SaturatingSpan(int32_t from, int32_t to)
{
    return ClampToInt32(static_cast<int64_t>(to) - from);
}

struct xWindowStyles
{
    uint32_t Style = 0;
    uint32_t ExStyle = 0;
};

// WS_* and WS_EX_* bits for a description.
xWindowStyles ChooseWindowStyles(const WindowDescription& description);

struct xWindowRect
{
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;
};

struct xWindowRegion
{
    xWindowRect Rect;
    // 0: a plain rectangle; otherwise the width and height of the corners' ellipse.
    int32_t Ellipse = 0;
};

// The region of a window whose region size is `width` x `height` (-1 each before
// the first region: then the outer size counts), maximised or not; `border` is
// the system's window border width.
xWindowRegion ChooseWindowRegion(const WindowDescription& description, int32_t width, int32_t height,
                                 int32_t outerWidth, int32_t outerHeight, bool maximised, int32_t border);

// The constant alpha a layered window is put on screen with, over its
// per-pixel alpha: Opacity x 255 (truncated) for Transparency 1, else opaque.
uint8_t LayeredConstantAlpha(const WindowDescription& description);

struct xWindowPoint
{
    int32_t X = 0;
    int32_t Y = 0;
};

// Where a client area of `width` x `height` goes to sit centred in the work
// area, pushed back inside it, its left and top edges winning when it is larger.
xWindowPoint CentreInWorkArea(const xWindowRect& workArea, int32_t width, int32_t height);

// The sizes a window may take, as the system asks for them; -1 where the
// system's proposal stays.
struct xWindowSizeLimits
{
    int32_t MinWidth = -1;
    int32_t MinHeight = -1;
    int32_t MaxWidth = -1;
    int32_t MaxHeight = -1;
};

// The system's size record (MINMAXINFO without its reserved point).
struct xWindowMinMax
{
    xWindowPoint MaxSize;
    xWindowPoint MaxPosition;
    xWindowPoint MinTrackSize;
    xWindowPoint MaxTrackSize;
};

// The system's proposal with the limits applied: a maximised window sits at
// (0, 0) and is as large as the maximum; without a maximum the window cannot be
// dragged larger than its minimum.
xWindowMinMax ApplySizeLimits(xWindowMinMax proposed, const xWindowSizeLimits& limits);

// Where the pointer is over a window, as the listener answers a hit test. The
// resize zones surround the client zone like the keys of a numeric keypad.
enum class WindowZone : int32_t
{
    Nowhere = 0,
    TopLeft = 1,
    Top = 2,
    TopRight = 3,
    Left = 4,
    Client = 5,
    Right = 6,
    BottomLeft = 7,
    Bottom = 8,
    BottomRight = 9,
    Caption = 10,
    MinimizeButton = 11,
    MaximizeButton = 12,
    CloseButton = 13,
    SystemMenu = 14,
};

// The system's hit-test code (HT*) for a zone; a zone outside the table is nowhere.
int32_t WindowZoneHitCode(WindowZone zone);

// An accessibility shortcut setting (sticky, toggle or filter keys, whose flag
// bits share their values) with its activation hot key switched off: the hot-key
// bit (4) and the confirmation bit (8) cleared, unless the user has turned the
// feature on (bit 1), in which case it is left as it is.
uint32_t QuietShortcutFlags(uint32_t flags);
