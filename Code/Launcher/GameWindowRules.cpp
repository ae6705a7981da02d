#include "GameWindowRules.h"

#include <cinttypes>
#include <cmath>
#include <cstdio>

namespace
{
// The width of the resize borders of a frame that is not maximised.
constexpr int32_t ResizeBorder = 8;
} // namespace

xWindowRect GameContentRect(int32_t width, int32_t height, bool maximized, const GameFrameSizes& sizes)
{
    if (maximized)
        return {0, sizes.TopHeight, width, height};
    return {sizes.SideWidth, sizes.TopHeight, width - sizes.SideWidth, height - sizes.BottomHeight};
}

WindowZone GameWindowHitTest(int32_t x, int32_t y, int32_t width, int32_t height, bool maximized,
                             bool overButton, const GameFrameSizes& sizes)
{
    if (overButton)
        return WindowZone::Client;
    if (!maximized)
    {
        const bool left = x < ResizeBorder;
        const bool right = x >= width - (ResizeBorder - 1);
        const bool top = y < ResizeBorder;
        const bool bottom = y >= height - (ResizeBorder - 1);
        if (left && top)
            return WindowZone::TopLeft;
        if (right && top)
            return WindowZone::TopRight;
        if (left && bottom)
            return WindowZone::BottomLeft;
        if (right && bottom)
            return WindowZone::BottomRight;
        if (left)
            return WindowZone::Left;
        if (right)
            return WindowZone::Right;
        if (top)
            return WindowZone::Top;
        if (bottom)
            return WindowZone::Bottom;
        if (y < sizes.TopHeight)
            return WindowZone::Caption;
    }
    const bool insideView = x > sizes.SideWidth && x < width - sizes.SideWidth && y > sizes.TopHeight &&
                            y < height - sizes.BottomHeight;
    return insideView ? WindowZone::Nowhere : WindowZone::Client;
}

xWindowRect RestoreRectForMaximize(const xWindowRect& remembered, const xWindowRect& current, bool minimized,
                                   bool maximized)
{
    return minimized || maximized ? remembered : current;
}

CloseRequestTimer::Action CloseRequestTimer::Press(double now)
{
    if (std::fabs(FirstPress) < 1e-8)
        FirstPress = now;
    const double waited = now - FirstPress;
    if (waited > 10.0)
    {
        // Too long ago to count as a second press: this one starts a new wait.
        FirstPress = now;
        return Action::Wait;
    }
    return waited > 5.0 ? Action::Force : Action::Wait;
}

xWString GameProcessArguments(uint64_t viewHandle, const xWString& gameArguments)
{
    char handle[24];
    std::snprintf(handle, sizeof(handle), "%" PRIu64 " ", viewHandle);
    xWString arguments = xWString(xString(handle));
    arguments += gameArguments;
    return arguments;
}

xWString GameExecutablePath(const xWString& publishFolder)
{
    return publishFolder + u"Bin/Win32/ReleaseStatic/RWGame.exe";
}

GameCommand GameProcessCommand(const xWString& runner, const xWString& executable, const xWString& arguments)
{
    if (runner.IsEmpty())
        return {executable, arguments};
    return {runner, u"\"" + executable + u"\" " + arguments};
}
