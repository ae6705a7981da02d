#include "xNativeWindow.h"

#include "xAssertion.h"
#include "xWindowRules.h"

#include "Windows/xCanvasGdiPlus.h"

#include <windows.h>

namespace
{
HWND Hwnd(const xNativeWindow& window)
{
    return static_cast<HWND>(window.Handle());
}
} // namespace

xNativeWindow::xNativeWindow(xAppWindow& owner, const WindowDescription& description)
    : WindowDesc(description), OwnerWindow(&owner)
{
}

void xNativeWindow::SetClientRect(int32_t x, int32_t y, int32_t width, int32_t height)
{
    const HWND handle = Hwnd(*this);
    int32_t outerWidth = width;
    int32_t outerHeight = height;
    if (WindowDesc.HasOSWindowBorder)
    {
        WINDOWINFO info = {};
        info.cbSize = sizeof(info);
        GetWindowInfo(handle, &info);
        RECT rect = {0, 0, width, height};
        AdjustWindowRectEx(&rect, info.dwStyle, FALSE, info.dwExStyle);
        outerWidth = rect.right - rect.left;
        outerHeight = rect.bottom - rect.top;
    }
    const bool resized = outerWidth != OuterWidth || outerHeight != OuterHeight;
    OuterWidth = outerWidth;
    OuterHeight = outerHeight;

    UINT flags = SWP_NOZORDER | SWP_NOACTIVATE;
    if (!SendPositionChanging)
        flags |= SWP_NOSENDCHANGING;
    SetWindowPos(handle, nullptr, x, y, outerWidth, outerHeight, flags);
    if (resized)
        SetRegionSize(outerWidth, outerHeight);
}

void xNativeWindow::SetRegionSize(int32_t width, int32_t height)
{
    RegionW = width;
    RegionH = height;
    const HRGN region = static_cast<HRGN>(BuildRegion());
    // On success the window owns the region (and deletes the one it had).
    if (!SetWindowRgn(Hwnd(*this), region, FALSE))
    {
        ReportAssertion("::SetWindowRgn( HWnd, Region, false )", __FILE__, __LINE__, nullptr);
        if (region != nullptr)
            DeleteObject(region);
    }
}

void* xNativeWindow::BuildRegion() const
{
    const HWND handle = Hwnd(*this);
    RECT outer = {};
    GetWindowRect(handle, &outer);
    WINDOWINFO info = {};
    info.cbSize = sizeof(info);
    GetWindowInfo(handle, &info);
    const xWindowRegion shape =
        ChooseWindowRegion(WindowDesc, RegionW, RegionH, outer.right - outer.left, outer.bottom - outer.top,
                           IsZoomed(handle) != FALSE, static_cast<int32_t>(info.cxWindowBorders));
    if (shape.Ellipse > 0)
        return CreateRoundRectRgn(shape.Rect.Left, shape.Rect.Top, shape.Rect.Right, shape.Rect.Bottom,
                                  shape.Ellipse, shape.Ellipse);
    return CreateRectRgn(shape.Rect.Left, shape.Rect.Top, shape.Rect.Right, shape.Rect.Bottom);
}

void xNativeWindow::BringToFront(bool activate)
{
    const HWND handle = Hwnd(*this);
    if (!WindowDesc.IsRegularWindow)
    {
        UINT flags = SWP_NOSIZE | SWP_NOMOVE | SWP_NOOWNERZORDER;
        if (!activate)
            flags |= SWP_NOACTIVATE;
        SetWindowPos(handle, WindowDesc.IsTopmostWindow ? HWND_TOPMOST : HWND_TOP, 0, 0, 0, 0, flags);
        return;
    }
    if (IsIconic(handle))
    {
        ShowWindow(handle, SW_RESTORE);
        InvalidateRect(handle, nullptr, TRUE);
    }
    else
        SetActiveWindow(handle);
}

void xNativeWindow::MakeForeground()
{
    if (NativeHandle != nullptr)
        SetForegroundWindow(Hwnd(*this));
}

void xNativeWindow::CentreOnMonitor()
{
    const HWND handle = Hwnd(*this);
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (!GetMonitorInfoW(MonitorFromWindow(handle, MONITOR_DEFAULTTONEAREST), &monitor))
        return;
    const xWindowRect work = {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right,
                              monitor.rcWork.bottom};
    const xWindowPoint client =
        CentreInWorkArea(work, WindowDesc.WidthDesiredOnScreen, WindowDesc.HeightDesiredOnScreen);

    RECT outer = {};
    GetWindowRect(handle, &outer);
    POINT origin = {0, 0};
    ClientToScreen(handle, &origin);
    MoveWindow(handle, client.X + (outer.left - origin.x), client.Y + (outer.top - origin.y),
               outer.right - outer.left, outer.bottom - outer.top, TRUE);
}

void xNativeWindow::DropComposited()
{
    if (WindowDesc.Transparency != 2)
        return;
    const HWND handle = Hwnd(*this);
    SetWindowLongPtrW(handle, GWL_EXSTYLE,
                      GetWindowLongPtrW(handle, GWL_EXSTYLE) & ~LONG_PTR(WS_EX_COMPOSITED));
    SetWindowPos(handle, nullptr, 0, 0, 0, 0,
                 SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_NOREDRAW | SWP_NOACTIVATE | SWP_FRAMECHANGED |
                     SWP_NOOWNERZORDER | SWP_NOSENDCHANGING);
}

void xNativeWindow::Show()
{
    ShowWindow(Hwnd(*this), SW_SHOW);
}

void xNativeWindow::Hide()
{
    ShowWindow(Hwnd(*this), SW_HIDE);
}

void xNativeWindow::Minimize()
{
    ShowWindow(Hwnd(*this), SW_MINIMIZE);
}

void xNativeWindow::Maximize()
{
    ShowWindow(Hwnd(*this), SW_MAXIMIZE);
}

void xNativeWindow::Restore()
{
    ShowWindow(Hwnd(*this), SW_RESTORE);
}

bool xNativeWindow::IsMinimized() const
{
    return NativeHandle != nullptr && IsIconic(Hwnd(*this)) != FALSE;
}

void xNativeWindow::Invalidate(bool erase)
{
    if (NativeHandle != nullptr)
        InvalidateRect(Hwnd(*this), nullptr, erase ? TRUE : FALSE);
}

void xNativeWindow::MakeLayered()
{
    const HWND handle = Hwnd(*this);
    if (handle == nullptr)
        return;
    SetWindowLongPtrW(handle, GWL_EXSTYLE, GetWindowLongPtrW(handle, GWL_EXSTYLE) | WS_EX_LAYERED);
}

xWindowRect xNativeWindow::ScreenRect() const
{
    RECT outer = {};
    if (NativeHandle != nullptr)
        GetWindowRect(Hwnd(*this), &outer);
    return {outer.left, outer.top, outer.right, outer.bottom};
}

void xNativeWindow::SetScreenRect(const xWindowRect& rect)
{
    if (NativeHandle != nullptr)
        MoveWindow(Hwnd(*this), rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top, TRUE);
}

void xNativeWindow::Update()
{
    if (NativeHandle != nullptr)
        UpdateWindow(Hwnd(*this));
}

xWindowRect xNativeWindow::MonitorWorkArea() const
{
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof(monitor);
    if (NativeHandle == nullptr ||
        !GetMonitorInfoW(MonitorFromWindow(Hwnd(*this), MONITOR_DEFAULTTONEAREST), &monitor))
        return {};
    return {monitor.rcWork.left, monitor.rcWork.top, monitor.rcWork.right, monitor.rcWork.bottom};
}

void xNativeWindow::CaptureMouse()
{
    if (NativeHandle != nullptr)
        SetCapture(Hwnd(*this));
}

void xNativeWindow::ReleaseMouse()
{
    if (NativeHandle != nullptr && GetCapture() == Hwnd(*this))
        ReleaseCapture();
}

void xNativeWindow::Paint(const std::function<void(xCanvas&)>& paint)
{
    const HWND handle = Hwnd(*this);
    if (handle == nullptr)
        return;
    RECT outer = {};
    GetWindowRect(handle, &outer);
    const int32_t width = outer.right - outer.left;
    const int32_t height = outer.bottom - outer.top;

    PAINTSTRUCT paintInfo = {};
    const HDC windowDc = BeginPaint(handle, &paintInfo);
    if (width > 0 && height > 0)
    {
        xDibSurface surface(width, height);
        if (surface.IsValid())
        {
            {
                // The GDI+ surface must be gone before GDI reads the bitmap.
                xCanvasGdiPlus canvas(surface.Dc());
                paint(canvas);
            }
            GdiFlush();
            const bool layered = (GetWindowLongPtrW(handle, GWL_EXSTYLE) & WS_EX_LAYERED) != 0;
            if (WindowDesc.Transparency != 0 && layered)
            {
                POINT destination = {outer.left, outer.top};
                SIZE size = {width, height};
                POINT source = {0, 0};
                // The whole window's opacity rides on the update: a constant alpha set
                // apart (SetLayeredWindowAttributes) would make the update fail.
                BLENDFUNCTION blend = {AC_SRC_OVER, 0, LayeredConstantAlpha(WindowDesc), AC_SRC_ALPHA};
                UpdateLayeredWindow(handle, nullptr, &destination, &size, surface.Dc(), &source, 0, &blend,
                                    ULW_ALPHA);
            }
            else if (windowDc != nullptr)
                BitBlt(windowDc, 0, 0, width, height, surface.Dc(), 0, 0, SRCCOPY);
        }
    }
    EndPaint(handle, &paintInfo);
}

xWindowPoint GetCursorScreenPosition()
{
    POINT point = {};
    GetCursorPos(&point);
    return {point.x, point.y};
}
