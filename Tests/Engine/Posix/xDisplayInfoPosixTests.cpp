#include "xDisplayInfo.h"

#include <gtest/gtest.h>

#include <X11/Xlib.h>

// The record against what Xlib itself says of the same display.
TEST(xDisplayInfoPosix, ScreenWorkAreaAndMonitorsFromTheDisplay)
{
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr)
        GTEST_SKIP() << "no X display (scripts/lib/peers.sh starts Xvfb for the window tests)";
    const int width = DisplayWidth(display, DefaultScreen(display));
    const int height = DisplayHeight(display, DefaultScreen(display));
    XCloseDisplay(display);

    xDisplayInfo info;
    ReadDisplayInfo(info);
    EXPECT_EQ(width, info.ScreenWidth);
    EXPECT_EQ(height, info.ScreenHeight);
    EXPECT_TRUE(info.WorkLeft >= 0 && info.WorkTop >= 0 && info.WorkRight <= width &&
                info.WorkBottom <= height && info.WorkRight > info.WorkLeft &&
                info.WorkBottom > info.WorkTop);
    EXPECT_EQ(0, info.VirtualLeft);
    EXPECT_EQ(width, info.VirtualRight);
    // Only monitors whose EDID names their native resolution are listed (Xvfb's have none).
    for (const MonitorRecord& monitor : info.Monitors)
        EXPECT_TRUE(monitor.NativeWidth > 0 && monitor.NativeHeight > 0 && !monitor.ShortId.IsEmpty());
}
