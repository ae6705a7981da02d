#include "xAppWindow.h"

#include "xAssertion.h"
#include "xWindowRules.h"

#include "Windows/xWin32Text.h"

#include <windows.h>

#include <shobjidl.h>

#include <algorithm>
#include <cwchar>
#include <iterator>
#include <optional>
#include <utility>
#include <vector>

namespace
{
// The window gets WM_MOUSELEAVE when the pointer leaves it, so hover faces
// come back without polling where the pointer is.
void AskForLeaveMessage(HWND window)
{
    TRACKMOUSEEVENT track = {sizeof(track), TME_LEAVE, window, 0};
    TrackMouseEvent(&track);
}

const wchar_t WindowClassName[] = L"WispWindow";

// The process's one xAppWindow, for the class's window procedure.
xAppWindow* ProcessAppWindow = nullptr;

HWND Hwnd(const xNativeWindow& window)
{
    return static_cast<HWND>(window.Handle());
}

ITaskbarList3* TaskbarOf(void* taskbar)
{
    return static_cast<ITaskbarList3*>(taskbar);
}

LRESULT CALLBACK WispWindowProcedure(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (ProcessAppWindow == nullptr)
        return DefWindowProcW(handle, message, wParam, lParam);
    return ProcessAppWindow->WindowProcedure(handle, message, wParam, lParam);
}

// Reads one accessibility setting and switches its activation hot key off
// unless the user has turned the feature on, so that pressing Shift five times
// or holding Shift or Num Lock does not open its prompt over the game.
template <typename Setting> uint32_t ReadAndQuietShortcut(UINT getAction, UINT setAction)
{
    Setting setting = {};
    setting.cbSize = sizeof(setting);
    if (!SystemParametersInfoW(getAction, sizeof(setting), &setting, 0))
        return 0;
    const uint32_t flags = setting.dwFlags;
    const uint32_t quiet = QuietShortcutFlags(flags);
    if (quiet != flags)
    {
        setting.dwFlags = quiet;
        // For the life of the session only: nothing is written to the user's profile.
        SystemParametersInfoW(setAction, sizeof(setting), &setting, 0);
    }
    return flags;
}

// Puts back the flags one setting had before ReadAndQuietShortcut, if it changed them.
template <typename Setting> void RestoreShortcut(UINT getAction, UINT setAction, uint32_t flags)
{
    Setting setting = {};
    setting.cbSize = sizeof(setting);
    if (QuietShortcutFlags(flags) == flags || !SystemParametersInfoW(getAction, sizeof(setting), &setting, 0))
        return;
    setting.dwFlags = flags;
    SystemParametersInfoW(setAction, sizeof(setting), &setting, 0);
}
} // namespace

xAppWindow::xAppWindow(void* instance) : ModuleInstance(instance)
{
    ProcessAppWindow = this;
    // A skinned window busy loading must not be replaced by the system's "not responding" ghost.
    DisableProcessWindowsGhosting();

    const HBRUSH brush = CreateSolidBrush(RGB(0, 0, 0));
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    windowClass.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = WispWindowProcedure;
    windowClass.hInstance = static_cast<HINSTANCE>(instance);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = brush;
    windowClass.lpszClassName = WindowClassName;
    RegisteredClass = RegisterClassExW(&windowClass) != 0;
    if (RegisteredClass)
        ClassBrush = brush;
    else if (brush != nullptr)
        DeleteObject(brush);

    ITaskbarList3* taskbar = nullptr;
    if (SUCCEEDED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskbarList3,
                                   reinterpret_cast<void**>(&taskbar))))
    {
        // The interface is unusable until initialised.
        if (SUCCEEDED(taskbar->HrInit()))
            Taskbar = taskbar;
        else
            taskbar->Release();
    }

    ReadDisplayInfo(Display);

    ShortcutKeyState.StickyKeys = ReadAndQuietShortcut<STICKYKEYS>(SPI_GETSTICKYKEYS, SPI_SETSTICKYKEYS);
    ShortcutKeyState.ToggleKeys = ReadAndQuietShortcut<TOGGLEKEYS>(SPI_GETTOGGLEKEYS, SPI_SETTOGGLEKEYS);
    ShortcutKeyState.FilterKeys = ReadAndQuietShortcut<FILTERKEYS>(SPI_GETFILTERKEYS, SPI_SETFILTERKEYS);
}

xAppWindow::~xAppWindow()
{
    // The process's xAppWindow lives as long as the process; this is for tests
    // and leaves no window, class, brush or quieted setting behind.
    RestoreShortcut<STICKYKEYS>(SPI_GETSTICKYKEYS, SPI_SETSTICKYKEYS, ShortcutKeyState.StickyKeys);
    RestoreShortcut<TOGGLEKEYS>(SPI_GETTOGGLEKEYS, SPI_SETTOGGLEKEYS, ShortcutKeyState.ToggleKeys);
    RestoreShortcut<FILTERKEYS>(SPI_GETFILTERKEYS, SPI_SETFILTERKEYS, ShortcutKeyState.FilterKeys);
    while (!Windows.empty())
    {
        const xNativeWindow* last = Windows.back().get();
        if (last->Handle() != nullptr)
            DestroyWindow(Hwnd(*last));
        // WM_DESTROY normally took it out; a window that could not be destroyed goes anyway.
        if (!Windows.empty() && Windows.back().get() == last)
            Windows.pop_back();
    }
    if (Taskbar != nullptr)
        TaskbarOf(Taskbar)->Release();
    if (RegisteredClass)
        UnregisterClassW(WindowClassName, static_cast<HINSTANCE>(ModuleInstance));
    if (ClassBrush != nullptr)
        DeleteObject(static_cast<HBRUSH>(ClassBrush));
    if (ProcessAppWindow == this)
        ProcessAppWindow = nullptr;
}

xNativeWindow* xAppWindow::CreateNativeWindow(const WindowDescription& description)
{
    Windows.push_back(std::make_unique<xNativeWindow>(*this, description));
    xNativeWindow* window = Windows.back().get();

    const xWindowStyles styles = ChooseWindowStyles(description);
    int32_t x = description.XDesiredPositionOnScreen;
    int32_t y = description.YDesiredPositionOnScreen;
    int32_t outerWidth = description.WidthDesiredOnScreen;
    int32_t outerHeight = description.HeightDesiredOnScreen;
    if (description.HasOSWindowBorder)
    {
        // The description places and sizes the client area; the frame goes around it.
        RECT rect = {0, 0, outerWidth, outerHeight};
        AdjustWindowRectEx(&rect, styles.Style, FALSE, WS_EX_APPWINDOW);
        x = SaturatingAdd(x, rect.left);
        y = SaturatingAdd(y, rect.top);
        outerWidth = SaturatingSpan(rect.left, rect.right);
        outerHeight = SaturatingSpan(rect.top, rect.bottom);
    }

    Creating = window;
    const HWND handle = CreateWindowExW(styles.ExStyle, WindowClassName, WinText(description.Title),
                                        styles.Style, x, y, outerWidth, outerHeight, nullptr, nullptr,
                                        static_cast<HINSTANCE>(ModuleInstance), nullptr);
    Creating = nullptr;
    window->NativeHandle = handle;
    if (handle == nullptr)
        return window;

    window->SetClientRect(x, y, description.WidthDesiredOnScreen, description.HeightDesiredOnScreen);
    if (description.IsRegularWindow && !description.HasOSWindowBorder)
    {
        // The frame is worked out again now that WM_NCCALCSIZE finds the window in the list.
        SetWindowPos(handle, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOZORDER | SWP_FRAMECHANGED);
        window->SetRegionSize(description.WidthDesiredOnScreen, description.HeightDesiredOnScreen);
    }
    return window;
}

void xAppWindow::DestroyNativeWindow(xNativeWindow* window)
{
    if (window == nullptr)
        return;
    // WM_DESTROY takes a created window out of the list; one the system never
    // made is only listed.
    if (window->Handle() != nullptr)
        DestroyWindow(Hwnd(*window));
    ForgetNativeWindow(window);
}

void xAppWindow::RemoveNativeWindow(void* handle)
{
    for (auto it = Windows.rbegin(); it != Windows.rend(); ++it)
        if ((*it)->Handle() == handle)
        {
            Windows.erase(std::next(it).base());
            return;
        }
}

void xAppWindow::SetTaskbarProgressState(xNativeWindow* window, int32_t state)
{
    if (Taskbar == nullptr || window == nullptr)
        return;
    TaskbarOf(Taskbar)->SetProgressState(Hwnd(*window), static_cast<TBPFLAG>(state));
}

void xAppWindow::SetTaskbarProgressValue(xNativeWindow* window, uint64_t completed, uint64_t total)
{
    if (Taskbar == nullptr || window == nullptr)
        return;
    TaskbarOf(Taskbar)->SetProgressValue(Hwnd(*window), completed, total);
}

intptr_t xAppWindow::Default(xNativeWindow* window, void* handle, uint32_t message, uintptr_t wParam,
                             intptr_t lParam)
{
    Listener().OnUnhandledMessage(window, message, wParam, lParam);
    return DefWindowProcW(static_cast<HWND>(handle), message, wParam, lParam);
}

intptr_t xAppWindow::OfferToHooks(xNativeWindow* window, void* handle, uint32_t message, uintptr_t wParam,
                                  intptr_t lParam)
{
    // A hook may add or remove hooks while it runs.
    const std::vector<xMessageHook*> hooks = MessageHooks;
    for (xMessageHook* hook : hooks)
    {
        intptr_t result = 0;
        if (hook->Handle(handle, message, wParam, lParam, result))
            return result;
    }
    return Default(window, handle, message, wParam, lParam);
}

namespace
{
// The answers a window procedure gives for itself; an empty one leaves the
// message to the system's default handling.
using Answer = std::optional<intptr_t>;

Answer AnswerMove(xAppWindowListener& listener, xNativeWindow* window, intptr_t lParam)
{
    const int32_t x = static_cast<int16_t>(LOWORD(lParam));
    const int32_t y = static_cast<int16_t>(HIWORD(lParam));
    // Minimising parks the window at (-32000, -32000): not a move the skin cares about.
    if (x == -32000 && y == -32000)
        return std::nullopt;
    listener.OnMoved(window, x, y);
    return 0;
}

Answer AnswerSizeLimits(xAppWindowListener& listener, xNativeWindow* window, intptr_t lParam)
{
    xWindowSizeLimits limits;
    if (!listener.GetSizeLimits(window, limits))
        return std::nullopt;
    MINMAXINFO* info = reinterpret_cast<MINMAXINFO*>(lParam);
    xWindowMinMax proposed;
    proposed.MaxSize = {info->ptMaxSize.x, info->ptMaxSize.y};
    proposed.MaxPosition = {info->ptMaxPosition.x, info->ptMaxPosition.y};
    proposed.MinTrackSize = {info->ptMinTrackSize.x, info->ptMinTrackSize.y};
    proposed.MaxTrackSize = {info->ptMaxTrackSize.x, info->ptMaxTrackSize.y};
    const xWindowMinMax limited = ApplySizeLimits(proposed, limits);
    info->ptMaxSize = {limited.MaxSize.X, limited.MaxSize.Y};
    info->ptMaxPosition = {limited.MaxPosition.X, limited.MaxPosition.Y};
    info->ptMinTrackSize = {limited.MinTrackSize.X, limited.MinTrackSize.Y};
    info->ptMaxTrackSize = {limited.MaxTrackSize.X, limited.MaxTrackSize.Y};
    return 0;
}

// The frame of a borderless window: none to compute or paint, and the skin
// says where the caption and the resize edges are.
Answer AnswerFrame(xAppWindowListener& listener, xNativeWindow* window, HWND hwnd, uint32_t message,
                   uintptr_t wParam, intptr_t lParam)
{
    const WindowDescription& description = window->Description();
    if (description.HasOSWindowBorder)
        return std::nullopt;
    switch (message)
    {
    case WM_NCCALCSIZE:
        // A skinned window's client area is the whole window.
        return wParam != FALSE ? Answer(0) : std::nullopt;
    case WM_NCPAINT:
        return 0;
    case WM_NCACTIVATE:
        return 1;
    default: // WM_NCHITTEST
        break;
    }
    if (!description.IsRegularWindow)
        return std::nullopt;
    WindowZone zone = WindowZone::Client;
    if (listener.IsWindowInteractive(window))
    {
        RECT outer = {};
        GetWindowRect(hwnd, &outer);
        const int32_t x = static_cast<int16_t>(LOWORD(lParam));
        const int32_t y = static_cast<int16_t>(HIWORD(lParam));
        zone = listener.HitTest(window, x - outer.left, y - outer.top);
    }
    return WindowZoneHitCode(zone);
}

Answer AnswerNonClientPress(xAppWindowListener& listener, xNativeWindow* window, uintptr_t wParam)
{
    switch (NonClientPressOf(wParam))
    {
    case NonClientPress::TellThenPassOn:
        listener.OnWindowButton(window, WindowButtonAction::Press);
        break;
    case NonClientPress::AskToPassOn:
        if (!listener.OnWindowButton(window, WindowButtonAction::Press))
            return 1;
        break;
    case NonClientPress::PassOn:
        break;
    }
    return std::nullopt;
}

Answer AnswerSystemCommand(xAppWindowListener& listener, xNativeWindow* window, HWND hwnd, uintptr_t wParam)
{
    switch (static_cast<WindowButtonAction>(SystemCommandAction(wParam)))
    {
    case WindowButtonAction::Maximize:
        if (!listener.OnWindowButton(window, WindowButtonAction::Maximize))
            return 1;
        return std::nullopt;
    case WindowButtonAction::Restore:
        // Restoring is the listener's (the skin knows the size to return to);
        // only a minimised window is brought back here.
        if (IsIconic(hwnd))
        {
            ShowWindow(hwnd, SW_RESTORE);
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        listener.OnWindowButton(window, WindowButtonAction::Restore);
        return 0;
    default:
        return std::nullopt;
    }
}

// A raw mouse movement into `record`; false for anything else.
bool ReadRawMouse(intptr_t lParam, InputRecord& record)
{
    UINT size = 0;
    const HRAWINPUT raw = reinterpret_cast<HRAWINPUT>(lParam);
    if (GetRawInputData(raw, RID_INPUT, nullptr, &size, sizeof(RAWINPUTHEADER)) != 0 || size == 0)
        return false;
    std::vector<BYTE> data(size);
    if (GetRawInputData(raw, RID_INPUT, data.data(), &size, sizeof(RAWINPUTHEADER)) != size ||
        size < sizeof(RAWINPUT))
        return false;
    const RAWINPUT* input = reinterpret_cast<const RAWINPUT*>(data.data());
    if (input->header.dwType != RIM_TYPEMOUSE)
        return false;
    record.Absolute = (input->data.mouse.usFlags & MOUSE_MOVE_ABSOLUTE) != 0;
    if (!record.Absolute)
    {
        record.RawX = input->data.mouse.lLastX;
        record.RawY = input->data.mouse.lLastY;
    }
    return true;
}
} // namespace

intptr_t xAppWindow::WindowProcedure(void* handle, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    xNativeWindow* window = FindNativeWindow(handle);
    if (window == nullptr && Creating != nullptr && Creating->NativeHandle == nullptr)
    {
        // The first message of the window being created names its handle.
        Creating->NativeHandle = handle;
        window = Creating;
    }
    if (window == nullptr)
    {
        Listener().OnForeignMessage(handle, message, wParam, lParam);
        return DefWindowProcW(static_cast<HWND>(handle), message, wParam, lParam);
    }
    const InputRecord record = {window, handle, message, wParam, lParam};
    const Answer answer = AnswerMessage(record);
    if (answer)
        return *answer;
    switch (RouteOfMessage(message))
    {
    case InputRoute::Input:
        DispatchInput(record);
        return 0;
    case InputRoute::InputThenDefault:
        DispatchInput(record);
        return Default(window, handle, message, wParam, lParam);
    case InputRoute::None:
        break;
    }
    return OfferToHooks(window, handle, message, wParam, lParam);
}

std::optional<intptr_t> xAppWindow::AnswerMessage(const InputRecord& record)
{
    xNativeWindow* window = record.Window;
    void* handle = record.Handle;
    const uint32_t message = record.Message;
    const uintptr_t wParam = record.WParam;
    const intptr_t lParam = record.LParam;
    Answer answer;
    switch (message)
    {
    case WM_CREATE:
        return 0;
    case WM_DESTROY:
        RemoveNativeWindow(handle);
        return 0;
    case WM_MOVE:
        answer = AnswerMove(Listener(), window, lParam);
        break;
    case WM_PAINT:
        Listener().OnPaint(window);
        // A listener that painted without BeginPaint (a layered window's update)
        // leaves the update region set, and the system would send WM_PAINT forever.
        ValidateRect(static_cast<HWND>(handle), nullptr);
        return 1;
    case WM_ERASEBKGND:
        // The skin paints every pixel; erasing first would flicker.
        return 1;
    case WM_SETTINGCHANGE:
        if (lParam != 0 &&
            std::wcscmp(reinterpret_cast<const wchar_t*>(lParam), L"ConvertibleSlateMode") == 0)
            DispatchInput(record);
        break;
    case WM_GETMINMAXINFO:
        answer = AnswerSizeLimits(Listener(), window, lParam);
        break;
    case WM_DISPLAYCHANGE:
        ReadDisplayInfo(Display);
        break;
    case WM_NCCALCSIZE:
    case WM_NCPAINT:
    case WM_NCACTIVATE:
    case WM_NCHITTEST:
        answer = AnswerFrame(Listener(), window, static_cast<HWND>(handle), message, wParam, lParam);
        break;
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
    case WM_NCLBUTTONDOWN:
    case WM_NCRBUTTONDOWN:
    case WM_NCMBUTTONDOWN:
        answer = AnswerNonClientPress(Listener(), window, wParam);
        break;
    case WM_SYSCOMMAND:
        answer = AnswerSystemCommand(Listener(), window, static_cast<HWND>(handle), wParam);
        break;
    case WM_INPUT:
    {
        InputRecord mouse = record;
        if (ReadRawMouse(lParam, mouse))
            DispatchInput(mouse);
        return 0;
    }
    case WM_SYSKEYDOWN:
        if (IsSysKeyDownInput(wParam))
            DispatchInput(record);
        break;
    case WM_SYSCHAR:
        if (IsSysCharSwallowed(wParam, lParam))
            return 0;
        break;
    case WM_HOTKEY:
        Listener().OnHotKey(window, static_cast<int32_t>(wParam), lParam);
        return 1;
    case WM_ACTIVATEAPP:
    case WM_EXITSIZEMOVE:
        // A switch to another program may end a drag without WM_EXITSIZEMOVE.
        SizeMoveLoop = false;
        return std::nullopt;
    case WM_ENTERSIZEMOVE:
        SizeMoveLoop = true;
        return std::nullopt;
    default:
        return std::nullopt;
    }
    if (answer)
        return answer;
    return Default(window, handle, message, wParam, lParam);
}

xModifierState xAppWindow::ReadModifierKeys()
{
    static const int Keys[] = {VK_LSHIFT, VK_RSHIFT, VK_LCONTROL, VK_RCONTROL, VK_LMENU, VK_RMENU};
    xModifierState state;
    for (int i = 0; i < 6; ++i)
        state.Keys[i] = (GetAsyncKeyState(Keys[i]) & 0x8000) != 0;
    state.Keys[static_cast<int>(ModifierKey::CapsLock)] = (GetKeyState(VK_CAPITAL) & 1) != 0;
    return state;
}

void xAppWindow::PollModifierKeys()
{
    Snapshot = ReadModifierKeys();
}

void xAppWindow::QueueInput(const InputRecord& record)
{
    if (QueueingEnabled)
        InputQueue.push_back(record);
    else
        DispatchInput(record);
}

void xAppWindow::ProcessInput()
{
    // Dispatching may queue more; those wait for the next frame.
    std::vector<InputRecord> queued;
    queued.swap(InputQueue);
    for (const InputRecord& record : queued)
        DispatchInput(record);

    // With both shift keys held the system sends no key-up for the first one released.
    for (const auto& [key, virtualKey] :
         {std::pair{ModifierKey::LeftShift, VK_LSHIFT}, std::pair{ModifierKey::RightShift, VK_RSHIFT}})
    {
        bool& down = Modifiers.Keys[static_cast<int>(key)];
        if (down && (GetKeyState(virtualKey) & 0x8000) == 0)
        {
            down = false;
            Listener().OnKeyUp(virtualKey, 0, false);
        }
    }
}

void xAppWindow::DispatchKey(const InputRecord& record)
{
    const uint32_t message = record.Message;
    if (message == WM_CHAR)
    {
        Listener().OnChar(static_cast<uint32_t>(record.WParam), IsRepeat(record.LParam));
        return;
    }
    const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
    if (!down && message != WM_KEYUP && message != WM_SYSKEYUP)
        return;
    const uint32_t virtualKey = static_cast<uint32_t>(record.WParam);
    const uint32_t shiftKey = MapVirtualKeyW(ScanCodeOf(record.LParam), MAPVK_VSC_TO_VK_EX);
    const ModifierKey modifier = ModifierOfKey(virtualKey, record.LParam, shiftKey);
    if (modifier == ModifierKey::CapsLock)
        Modifiers.Keys[static_cast<int>(modifier)] = (GetKeyState(VK_CAPITAL) & 1) != 0;
    else if (modifier != ModifierKey::None)
        Modifiers.Keys[static_cast<int>(modifier)] = down;

    const uint32_t character = MapVirtualKeyW(virtualKey, MAPVK_VK_TO_CHAR);
    if (down)
        Listener().OnKeyDown(virtualKey, character, IsRepeat(record.LParam));
    else
        Listener().OnKeyUp(virtualKey, character, false);
}

void xAppWindow::DispatchMouse(const InputRecord& record)
{
    const xMouseMessage mouse = ClassifyMouseMessage(record.Message, record.WParam);
    POINT point = {static_cast<int16_t>(LOWORD(record.LParam)), static_cast<int16_t>(HIWORD(record.LParam))};
    if (mouse.ClientPoint)
        ClientToScreen(static_cast<HWND>(record.Handle), &point);
    const float x = static_cast<float>(point.x);
    const float y = static_cast<float>(point.y);
    switch (mouse.Call)
    {
    case MouseCall::Down:
        Listener().OnMouseDown(record.Window, mouse.Button, x, y);
        break;
    case MouseCall::Up:
        Listener().OnMouseUp(record.Window, mouse.Button, x, y);
        break;
    case MouseCall::DoubleClick:
        Listener().OnMouseDoubleClick(record.Window, mouse.Button, x, y);
        break;
    case MouseCall::Wheel:
        Listener().OnMouseWheel(WheelSteps(record.WParam), x, y);
        break;
    case MouseCall::Move:
        if (record.Message == WM_MOUSEMOVE)
            AskForLeaveMessage(static_cast<HWND>(record.Handle));
        if (!MouseMoveSuppressed)
            Listener().OnMouseMove(record.Window);
        break;
    case MouseCall::None:
        break;
    }
}

void xAppWindow::KeepPlacementWhileParentCloses(xNativeWindow& window, intptr_t status)
{
    const HWND hwnd = static_cast<HWND>(window.Handle());
    xNativeWindow::SavedPlacement& saved = window.Placement;
    WINDOWPLACEMENT placement = {};
    placement.length = sizeof(placement);
    if (status == SW_PARENTCLOSING && GetWindowPlacement(hwnd, &placement))
    {
        saved.Saved = true;
        saved.Flags = placement.flags;
        saved.ShowCommand = placement.showCmd;
        saved.MinPosition = {placement.ptMinPosition.x, placement.ptMinPosition.y};
        saved.MaxPosition = {placement.ptMaxPosition.x, placement.ptMaxPosition.y};
        const RECT& normal = placement.rcNormalPosition;
        saved.Normal = {normal.left, normal.top, normal.right, normal.bottom};
        return;
    }
    if (status != SW_PARENTOPENING || !saved.Saved)
        return;
    placement.flags = saved.Flags;
    placement.showCmd = saved.ShowCommand;
    placement.ptMinPosition = {saved.MinPosition.X, saved.MinPosition.Y};
    placement.ptMaxPosition = {saved.MaxPosition.X, saved.MaxPosition.Y};
    placement.rcNormalPosition = {saved.Normal.Left, saved.Normal.Top, saved.Normal.Right,
                                  saved.Normal.Bottom};
    SetWindowPlacement(hwnd, &placement);
}

void xAppWindow::DispatchInput(const InputRecord& record)
{
    xNativeWindow* window = record.Window;
    if (Windows.empty() || window == nullptr)
        return;
    const uint32_t message = record.Message;
    if (IsDroppedWhenNotInteractive(message) && !Listener().IsWindowInteractive(window))
    {
        // Key-ups go missing while the window takes no input.
        if (IsKeyMessage(message))
            Modifiers = ReadModifierKeys();
        return;
    }
    switch (message)
    {
    case WM_KEYDOWN:
    case WM_KEYUP:
    case WM_CHAR:
    case WM_SYSKEYDOWN:
    case WM_SYSKEYUP:
        DispatchKey(record);
        break;
    case WM_INPUT:
        if (record.Absolute)
            Listener().OnMouseMove(window);
        else
            Listener().OnRawMouseMove(record.RawX, record.RawY);
        break;
    case WM_SIZE:
    {
        const int32_t width = LOWORD(record.LParam);
        const int32_t height = HIWORD(record.LParam);
        if (window->Description().IsRegularWindow && !window->Description().HasOSWindowBorder)
            window->SetRegionSize(width, height);
        Listener().OnResized(window, width, height, record.WParam == SIZE_MINIMIZED);
        break;
    }
    case WM_ACTIVATE:
    {
        const ActivationKind kind = ActivationKindOf(record.WParam, MouseActivation);
        MouseActivation = false;
        Listener().OnActivate(window, kind);
        break;
    }
    case WM_MOUSEACTIVATE:
        MouseActivation = IsMouseActivation(record.LParam);
        break;
    case WM_SHOWWINDOW:
        KeepPlacementWhileParentCloses(*window, record.LParam);
        break;
    case WM_SETTINGCHANGE:
        Listener().OnSlateModeChanged();
        break;
    case WM_ACTIVATEAPP:
        // Keys released while another program had the keyboard sent no key-up here.
        Modifiers = ReadModifierKeys();
        Listener().OnAppActivate(record.WParam != FALSE);
        break;
    case WM_SETCURSOR:
        Listener().OnSetCursor();
        break;
    case WM_CLOSE:
        Listener().OnClose(window);
        break;
    case WM_SIZING:
        Listener().OnSizing(window);
        break;
    case WM_ENTERSIZEMOVE:
        Listener().OnEnterSizeMove(window);
        break;
    case WM_EXITSIZEMOVE:
        Listener().OnExitSizeMove(window);
        break;
    case WM_DWMCOMPOSITIONCHANGED:
        window->DropComposited();
        break;
    default:
        // Mouse messages; input-language, help and IME records call nothing.
        DispatchMouse(record);
        break;
    }
}
