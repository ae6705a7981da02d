#include "xWindowRules.h"

namespace
{
// The Windows constants, kept here so that the rules need no system header.
constexpr uint32_t WsPopup = 0x80000000u;
constexpr uint32_t WsClipSiblings = 0x04000000u;
constexpr uint32_t WsClipChildren = 0x02000000u;
constexpr uint32_t WsCaptionAndSysMenu = 0x00C80000u;
constexpr uint32_t WsThickFrame = 0x00040000u;
constexpr uint32_t WsMinimizeBox = 0x00020000u;
constexpr uint32_t WsMaximizeBox = 0x00010000u;
constexpr uint32_t WsExTopmost = 0x00000008u;
constexpr uint32_t WsExToolWindow = 0x00000080u;
constexpr uint32_t WsExWindowEdge = 0x00000100u;
constexpr uint32_t WsExAppWindow = 0x00040000u;

int32_t Larger(int32_t a, int32_t b)
{
    return a > b ? a : b;
}

// One axis of the centring: centre, then pull back over the far edge, then the near edge wins.
int32_t CentreOnAxis(int32_t low, int32_t high, int32_t size)
{
    int32_t at = static_cast<int32_t>((static_cast<int64_t>(low) + high) / 2 - size / 2);
    if (static_cast<int64_t>(at) + size > high)
        at = static_cast<int32_t>(static_cast<int64_t>(high) - size);
    return Larger(at, low);
}
} // namespace

xWindowStyles ChooseWindowStyles(const WindowDescription& description)
{
    xWindowStyles styles;
    if (description.HasOSWindowBorder)
    {
        styles.ExStyle = WsExAppWindow;
        if (!description.IsRegularWindow)
        {
            styles.Style = WsPopup | WsCaptionAndSysMenu;
            return styles;
        }
        styles.Style = WsCaptionAndSysMenu;
        if (description.HasMaximize)
            styles.Style |= WsMaximizeBox;
        if (description.HasMinimize)
            styles.Style |= WsMinimizeBox;
        if (description.HasSizingFrame)
            styles.Style |= WsThickFrame;
        return styles;
    }
    styles.Style = WsPopup | WsClipSiblings | WsClipChildren | WsMinimizeBox;
    styles.ExStyle = (description.IsInTaskbar ? WsExAppWindow : WsExToolWindow) | WsExWindowEdge;
    if (description.IsTopmostWindow)
        styles.ExStyle |= WsExTopmost;
    return styles;
}

xWindowRegion ChooseWindowRegion(const WindowDescription& description, int32_t width, int32_t height,
                                 int32_t outerWidth, int32_t outerHeight, bool maximised, int32_t border)
{
    xWindowRegion region;
    if (width == -1 || height == -1)
    {
        region.Rect = {0, 0, outerWidth, outerHeight};
        return region;
    }
    if (maximised)
    {
        // The system lets a maximised window's border hang off the screen.
        region.Rect = {border, border, width - border, height - border};
        return region;
    }
    if (description.Transparency != 2 && description.CornerRadius > 0)
    {
        // The system leaves out the last row and column of a round rectangle.
        region.Rect = {0, 0, width + 1, height + 1};
        region.Ellipse = description.CornerRadius;
        return region;
    }
    region.Rect = {0, 0, width, height};
    return region;
}

xWindowPoint CentreInWorkArea(const xWindowRect& workArea, int32_t width, int32_t height)
{
    return {CentreOnAxis(workArea.Left, workArea.Right, width),
            CentreOnAxis(workArea.Top, workArea.Bottom, height)};
}

xWindowMinMax ApplySizeLimits(xWindowMinMax proposed, const xWindowSizeLimits& limits)
{
    if (limits.MinWidth != -1)
        proposed.MinTrackSize.X = limits.MinWidth;
    if (limits.MinHeight != -1)
        proposed.MinTrackSize.Y = limits.MinHeight;
    proposed.MaxPosition = {0, 0};
    if (limits.MaxWidth != -1)
        proposed.MaxSize.X = limits.MaxWidth;
    if (limits.MaxHeight != -1)
        proposed.MaxSize.Y = limits.MaxHeight;
    proposed.MaxTrackSize.X = limits.MaxWidth != -1 ? limits.MaxWidth : proposed.MinTrackSize.X;
    proposed.MaxTrackSize.Y = limits.MaxHeight != -1 ? limits.MaxHeight : proposed.MinTrackSize.Y;
    return proposed;
}

int32_t WindowZoneHitCode(WindowZone zone)
{
    // HTNOWHERE, HTTOPLEFT, HTTOP, HTTOPRIGHT, HTLEFT, HTCLIENT, HTRIGHT, HTBOTTOMLEFT,
    // HTBOTTOM, HTBOTTOMRIGHT, HTCAPTION, HTMINBUTTON, HTMAXBUTTON, HTCLOSE, HTSYSMENU.
    static const int32_t Codes[] = {0, 13, 12, 14, 10, 1, 11, 16, 15, 17, 2, 8, 9, 20, 3};
    const int32_t index = static_cast<int32_t>(zone);
    if (index < 0 || index >= static_cast<int32_t>(sizeof(Codes) / sizeof(Codes[0])))
        return 0;
    return Codes[index];
}

uint32_t QuietShortcutFlags(uint32_t flags)
{
    constexpr uint32_t On = 0x1;
    constexpr uint32_t HotKeyActive = 0x4;
    constexpr uint32_t ConfirmHotKey = 0x8;
    if (flags & On)
        return flags;
    return flags & ~(HotKeyActive | ConfirmHotKey);
}

uint8_t LayeredConstantAlpha(const WindowDescription& description)
{
    if (description.Transparency != 1)
        return 255;
    // The skin reader holds Opacity to 0..1; a description from elsewhere may not.
    const float opacity = description.Opacity;
    if (!(opacity > 0.0f))
        return 0;
    return opacity >= 1.0f ? 255 : static_cast<uint8_t>(static_cast<int32_t>(opacity * 255.0f));
}
