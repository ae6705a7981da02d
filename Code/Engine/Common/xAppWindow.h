#pragma once

#include "WindowDescription.h"
#include "xDisplayInfo.h"
#include "xInputRules.h"
#include "xNativeWindow.h"
#include "xWindowRules.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

// The application's top-level windows: one xAppWindow per process owns the
// window class, the list of native windows and the listener through which
// their events reach the launcher. The header stays free of system types so
// that portable code can hold the objects; natively no window is created yet.

class xAppWindow;
class xNativeWindow;

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

// One window message on its way to the listener. The raw movement is set
// only for raw mouse input (WM_INPUT).
struct InputRecord
{
    xNativeWindow* Window = nullptr;
    // The window's handle (HWND).
    void* Handle = nullptr;
    uint32_t Message = 0;
    uintptr_t WParam = 0;
    intptr_t LParam = 0;
    int32_t RawX = 0;
    int32_t RawY = 0;
    // The raw movement is an absolute position (a tablet, a remote session), not a step.
    bool Absolute = false;
};

// Left and right modifier keys and the caps lock toggle, by ModifierKey.
struct xModifierState
{
    bool Keys[static_cast<int>(ModifierKey::Count)] = {};
    bool IsDown(ModifierKey key) const { return Keys[static_cast<int>(key)]; }
};

// Asked in turn for the messages the window procedure does not handle itself.
class xMessageHook
{
public:
    virtual ~xMessageHook() = default;
    // True claims the message: the window procedure returns `result`.
    virtual bool Handle(void* handle, uint32_t message, uintptr_t wParam, intptr_t lParam,
                        intptr_t& result) = 0;
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

    // Once per frame, in this order: the modifier snapshot, then the queued input
    // and the shift keys whose release the system never sent.
    void PollModifierKeys();
    void ProcessInput();
    // Turns one record into listener calls, now.
    void DispatchInput(const InputRecord& record);
    // Keeps a record for the next ProcessInput while queueing is on, else dispatches it now.
    void QueueInput(const InputRecord& record);
    void SetInputQueueing(bool enabled) { QueueingEnabled = enabled; }
    // While set, mouse moves are not reported.
    void SetMouseMoveSuppressed(bool suppressed) { MouseMoveSuppressed = suppressed; }

    // Hooks are not owned; a hook removes itself before it goes.
    void AddMessageHook(xMessageHook* hook);
    void RemoveMessageHook(xMessageHook* hook);

    // As the key messages left them.
    const xModifierState& ModifierKeys() const { return Modifiers; }
    // As PollModifierKeys read them from the keyboard.
    const xModifierState& ModifierSnapshot() const { return Snapshot; }
    // Between WM_ENTERSIZEMOVE and WM_EXITSIZEMOVE: the user drags the window.
    bool InSizeMove() const { return SizeMoveLoop; }

private:
    intptr_t Default(xNativeWindow* window, void* handle, uint32_t message, uintptr_t wParam,
                     intptr_t lParam);
    void RemoveNativeWindow(void* handle);
    // Takes the object out of the list (and deletes it); the window itself is not touched.
    void ForgetNativeWindow(xNativeWindow* window);

    // What the window procedure answers for a message itself: an answer, or the
    // system's default handling's; empty leaves the message to the input route
    // and the hooks.
    std::optional<intptr_t> AnswerMessage(const InputRecord& record);
    // Hands the message to the hooks, then to the system.
    intptr_t OfferToHooks(xNativeWindow* window, void* handle, uint32_t message, uintptr_t wParam,
                          intptr_t lParam);
    // A window hidden with its closing parent (SW_PARENTCLOSING) keeps its
    // placement, and gets it back when the parent opens again.
    static void KeepPlacementWhileParentCloses(xNativeWindow& window, intptr_t status);
    void DispatchKey(const InputRecord& record);
    void DispatchMouse(const InputRecord& record);
    // The six modifier keys as the keyboard has them now, and caps lock's toggle.
    static xModifierState ReadModifierKeys();

    xAppWindowListener* AppListener = nullptr;
    void* ModuleInstance = nullptr;
    bool SizeMoveLoop = false;
    // A WM_MOUSEACTIVATE came before the coming WM_ACTIVATE.
    bool MouseActivation = false;
    bool MouseMoveSuppressed = false;
    std::vector<InputRecord> InputQueue;
    bool QueueingEnabled = true;
    std::vector<xMessageHook*> MessageHooks;
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
    xModifierState Modifiers;
    xModifierState Snapshot;
};
