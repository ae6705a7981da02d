#pragma once

#include "WindowDescription.h"
#include "xDisplayInfo.h"
#include "xNativeWindow.h"
#include "xWindowRules.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The application's top-level windows: one xAppWindow per process owns the
// window class, the list of native windows and the listener through which
// their events reach the launcher. The header stays free of system types so
// that portable code can hold the objects; natively no window is created yet.

class xAppWindow;
class xNativeWindow;

enum class MouseButton : int32_t
{
    Left = 0,
    Middle = 1,
    Right = 2,
    Extra1 = 3,
    Extra2 = 4,
};

enum class ActivationKind : int32_t
{
    Activated = 0,
    ActivatedByClick = 1,
    Deactivated = 2,
};

enum class WindowButtonAction : int32_t
{
    // A press on the caption or a caption button.
    Press = 1,
    Maximize = 2,
    Restore = 3,
};

// What the windows report. Every operation has a neutral answer here, so a
// listener overrides only what it cares about. Coordinates of mouse events are
// screen coordinates; the "handled" answers go back to the dispatcher only.
class xAppWindowListener
{
public:
    virtual ~xAppWindowListener() = default;

    virtual bool IsWindowInteractive(xNativeWindow* /*window*/) { return true; }
    virtual void OnHotKey(xNativeWindow* /*window*/, int32_t /*id*/, intptr_t /*keyData*/) {}
    virtual void OnChar(uint32_t /*character*/, bool /*repeat*/) {}
    virtual void OnKeyDown(uint32_t /*virtualKey*/, uint32_t /*character*/, bool /*repeat*/) {}
    virtual void OnKeyUp(uint32_t /*virtualKey*/, uint32_t /*character*/, bool /*repeat*/) {}
    virtual void OnMouseDown(xNativeWindow* /*window*/, MouseButton /*button*/, float /*x*/, float /*y*/) {}
    virtual bool OnMouseUp(xNativeWindow* /*window*/, MouseButton /*button*/, float /*x*/, float /*y*/)
    {
        return false;
    }
    virtual void OnMouseDoubleClick(xNativeWindow* /*window*/, MouseButton /*button*/, float /*x*/,
                                    float /*y*/)
    {
    }
    virtual bool OnMouseWheel(float /*steps*/, float /*x*/, float /*y*/) { return false; }
    virtual bool OnMouseMove(xNativeWindow* /*window*/) { return false; }
    virtual void OnRawMouseMove(int32_t /*dx*/, int32_t /*dy*/) {}
    virtual bool OnSetCursor() { return false; }
    virtual void OnResized(xNativeWindow* /*window*/, int32_t /*width*/, int32_t /*height*/,
                           bool /*minimised*/)
    {
    }
    virtual void OnPaint(xNativeWindow* /*window*/) {}
    // False: no limits, the system's proposal stays. Otherwise -1 keeps the
    // system's value for a minimum; a maximum of -1 pins the window at its minimum.
    virtual bool GetSizeLimits(xNativeWindow* /*window*/, xWindowSizeLimits& /*limits*/) { return false; }
    virtual void OnSizing(xNativeWindow* /*window*/) {}
    virtual void OnEnterSizeMove(xNativeWindow* /*window*/) {}
    virtual void OnExitSizeMove(xNativeWindow* /*window*/) {}
    virtual void OnMoved(xNativeWindow* /*window*/, int32_t /*x*/, int32_t /*y*/) {}
    virtual bool OnActivate(xNativeWindow* /*window*/, ActivationKind /*kind*/) { return false; }
    virtual void OnAppActivate(bool /*active*/) {}
    virtual void OnSlateModeChanged() {}
    // The point is relative to the window's outer top-left corner.
    virtual WindowZone HitTest(xNativeWindow* /*window*/, int32_t /*x*/, int32_t /*y*/)
    {
        return WindowZone::Client;
    }
    virtual void OnClose(xNativeWindow* /*window*/) {}
    // True lets the system go on with the press or command.
    virtual bool OnWindowButton(xNativeWindow* /*window*/, WindowButtonAction /*action*/) { return true; }
    virtual void OnUnhandledMessage(xNativeWindow* /*window*/, uint32_t /*message*/, uintptr_t /*wParam*/,
                                    intptr_t /*lParam*/)
    {
    }
    // A message for a window that is not in the list (yet, or any more).
    virtual void OnForeignMessage(void* /*handle*/, uint32_t /*message*/, uintptr_t /*wParam*/,
                                  intptr_t /*lParam*/)
    {
    }
};

// The accessibility shortcut settings (sticky keys, toggle keys, filter keys)
// as they were when the process started: each one's flag bits.
struct xShortcutKeyState
{
    uint32_t StickyKeys = 0;
    uint32_t ToggleKeys = 0;
    uint32_t FilterKeys = 0;
};

class xAppWindow
{
public:
    // `instance`: the module instance (HINSTANCE) the window class is registered
    // for. The taskbar interface needs COM initialised on this thread.
    explicit xAppWindow(void* instance);
    ~xAppWindow();
    xAppWindow(const xAppWindow&) = delete;
    xAppWindow& operator=(const xAppWindow&) = delete;

    // Not owned; null: events go nowhere.
    void SetListener(xAppWindowListener* listener);
    xAppWindowListener& Listener() const;

    // Creates the window, hidden; its Handle() is null when the system refused.
    // The object stays valid until the window is destroyed.
    xNativeWindow* CreateNativeWindow(const WindowDescription& description);
    // Destroys the window and forgets it; `window` is gone afterwards.
    void DestroyNativeWindow(xNativeWindow* window);
    // The window with this handle, or null.
    xNativeWindow* FindNativeWindow(void* handle) const;
    size_t NativeWindowCount() const { return Windows.size(); }

    // Taskbar button progress (a TBPFLAG state; value of total); nothing without
    // the taskbar interface.
    bool HasTaskbar() const { return Taskbar != nullptr; }
    void SetTaskbarProgressState(xNativeWindow* window, int32_t state);
    void SetTaskbarProgressValue(xNativeWindow* window, uint64_t completed, uint64_t total);

    const xDisplayInfo& DisplayInfo() const { return Display; }
    const xShortcutKeyState& ShortcutKeys() const { return ShortcutKeyState; }
    void* Instance() const { return ModuleInstance; }

    // The window procedure of every window of the class, for its trampoline.
    intptr_t WindowProcedure(void* handle, uint32_t message, uintptr_t wParam, intptr_t lParam);

private:
    intptr_t Default(xNativeWindow* window, void* handle, uint32_t message, uintptr_t wParam,
                     intptr_t lParam);
    void RemoveNativeWindow(void* handle);

    xAppWindowListener* AppListener = nullptr;
    void* ModuleInstance = nullptr;
    std::vector<std::unique_ptr<xNativeWindow>> Windows;
    // The window whose CreateWindowExW runs: its first messages arrive before
    // the call returns the handle.
    xNativeWindow* Creating = nullptr;
    xDisplayInfo Display;
    // ITaskbarList3, or null.
    void* Taskbar = nullptr;
    // The class's background brush, when this object registered the class.
    void* ClassBrush = nullptr;
    bool RegisteredClass = false;
    xShortcutKeyState ShortcutKeyState;
};
