#include "xNativeWindow.h"

// No windowing toolkit is wired up natively: the native launcher runs without
// windows, so a window is never created (its handle stays null) and every
// operation has nothing to act on.

xNativeWindow::xNativeWindow(xAppWindow& owner, const WindowDescription& description)
    : WindowDesc(description), OwnerWindow(&owner)
{
}

void xNativeWindow::SetClientRect(int32_t, int32_t, int32_t, int32_t) {}
void xNativeWindow::SetRegionSize(int32_t width, int32_t height)
{
    RegionW = width;
    RegionH = height;
}
void* xNativeWindow::BuildRegion() const
{
    return nullptr;
}
void xNativeWindow::BringToFront(bool) {}
void xNativeWindow::MakeForeground() {}
void xNativeWindow::CentreOnMonitor() {}
void xNativeWindow::DropComposited() {}
void xNativeWindow::Show() {}
void xNativeWindow::Hide() {}
void xNativeWindow::Minimize() {}
void xNativeWindow::Maximize() {}
void xNativeWindow::Restore() {}
bool xNativeWindow::IsMinimized() const
{
    return false;
}
void xNativeWindow::Invalidate(bool) {}
void xNativeWindow::MakeLayered() {}
xWindowRect xNativeWindow::ScreenRect() const
{
    return {};
}
void xNativeWindow::SetScreenRect(const xWindowRect&) {}
void xNativeWindow::Update() {}
xWindowRect xNativeWindow::MonitorWorkArea() const
{
    return {};
}
void xNativeWindow::CaptureMouse() {}
void xNativeWindow::ReleaseMouse() {}
void xNativeWindow::Paint(const std::function<void(xCanvas&)>&) {}

xWindowPoint GetCursorScreenPosition()
{
    return {};
}
