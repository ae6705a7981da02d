#pragma once

#include "WindowDescription.h"
#include "xWindowRules.h"

#include <cstdint>
#include <functional>

class xAppWindow;
class xCanvas;

// One top-level window made from a description. Owned by its xAppWindow from
// creation until the system destroys the window. Every operation does nothing
// on a window whose handle is null (the system refused to create it).
class xNativeWindow
{
public:
    xNativeWindow(xAppWindow& owner, const WindowDescription& description);
    xNativeWindow(const xNativeWindow&) = delete;
    xNativeWindow& operator=(const xNativeWindow&) = delete;

    const WindowDescription& Description() const { return WindowDesc; }
    xAppWindow& Owner() const { return *OwnerWindow; }
    // The system's window handle (HWND); null when the window could not be created.
    void* Handle() const { return NativeHandle; }
    int32_t RegionWidth() const { return RegionW; }
    int32_t RegionHeight() const { return RegionH; }

    // Moves the window's outer top-left corner to (x, y) and gives it a client
    // area of width x height; a new outer size gets a new region.
    void SetClientRect(int32_t x, int32_t y, int32_t width, int32_t height);
    // Shapes the window for a size of width x height (rounded corners, or the
    // border cut off while maximised).
    void SetRegionSize(int32_t width, int32_t height);
    // The region for the stored size (HRGN, the caller's to own): the current
    // outer rectangle until a size is known, the border cut off while
    // maximised, else rounded corners when the description asks for them.
    void* BuildRegion() const;
    void BringToFront(bool activate);
    // Asks the system to give this window the keyboard and the front.
    void MakeForeground();
    // Centres the client area in the work area of the nearest monitor.
    void CentreOnMonitor();
    // After a composition change: windows with translucency 2 drop the composited style.
    void DropComposited();

    void Show();
    void Hide();
    void Minimize();
    void Maximize();
    void Restore();
    bool IsMinimized() const;
    // Asks for one repaint of the whole window.
    void Invalidate(bool erase);
    // Per-pixel alpha from now on: each paint puts the window on screen as a
    // layered update, with the description's opacity as its constant alpha.
    void MakeLayered();
    // The outer rectangle on screen.
    xWindowRect ScreenRect() const;
    // Moves and sizes the outer rectangle (screen coordinates) and repaints.
    void SetScreenRect(const xWindowRect& rect);
    // Paints what is invalid now rather than at the next message.
    void Update();
    // The work area (the screen less the taskbar) of the monitor nearest the window.
    xWindowRect MonitorWorkArea() const;
    // Mouse events keep coming to this window while a button is held outside it.
    void CaptureMouse();
    void ReleaseMouse();

    // Answers the system's paint request: `paint` draws the whole window (its
    // outer size, from the top-left corner) into a fresh transparent surface,
    // which then goes on screen with its per-pixel alpha when the window is
    // layered, else by a plain copy (alpha ignored).
    void Paint(const std::function<void(xCanvas&)>& paint);

private:
    friend class xAppWindow;

    WindowDescription WindowDesc;
    xAppWindow* OwnerWindow;
    void* NativeHandle = nullptr;
    int32_t RegionW = -1;
    int32_t RegionH = -1;
    // Position changes normally skip WM_WINDOWPOSCHANGING; set to let it through.
    bool SendPositionChanging = false;
    // The placement (WINDOWPLACEMENT without its length) kept while the owner
    // window hides this one, so that it comes back where it was.
    struct SavedPlacement
    {
        bool Saved = false;
        uint32_t Flags = 0;
        uint32_t ShowCommand = 0;
        xWindowPoint MinPosition;
        xWindowPoint MaxPosition;
        xWindowRect Normal;
    } Placement;
    int32_t OuterWidth = 0;
    int32_t OuterHeight = 0;
};

// The mouse pointer on screen.
xWindowPoint GetCursorScreenPosition();
