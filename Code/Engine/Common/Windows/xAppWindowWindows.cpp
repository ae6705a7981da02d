#include "xAppWindow.h"

#include "xAssertion.h"
#include "xWindowRules.h"

#include "Windows/xWin32Text.h"

#include <windows.h>

#include <shobjidl.h>

#include <iterator>

namespace
{
const wchar_t WindowClassName[] = L"WispWindow";

// The process's one xAppWindow, for the class's window procedure.
xAppWindow* ProcessAppWindow = nullptr;

// Answers every question with the listener's neutral default.
xAppWindowListener NoListener;

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
    // and leaves no window, class or brush behind.
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

void xAppWindow::SetListener(xAppWindowListener* listener)
{
    AppListener = listener;
}

xAppWindowListener& xAppWindow::Listener() const
{
    return AppListener != nullptr ? *AppListener : NoListener;
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
        x += rect.left;
        y += rect.top;
        outerWidth = rect.right - rect.left;
        outerHeight = rect.bottom - rect.top;
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
    window->ApplyOpacity();
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
    for (auto it = Windows.begin(); it != Windows.end(); ++it)
        if (it->get() == window)
        {
            Windows.erase(it);
            return;
        }
}

xNativeWindow* xAppWindow::FindNativeWindow(void* handle) const
{
    if (handle == nullptr)
        return nullptr;
    for (const std::unique_ptr<xNativeWindow>& window : Windows)
        if (window->Handle() == handle)
            return window.get();
    return nullptr;
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

intptr_t xAppWindow::WindowProcedure(void* handle, uint32_t message, uintptr_t wParam, intptr_t lParam)
{
    const HWND hwnd = static_cast<HWND>(handle);
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
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }

    const WindowDescription& description = window->Description();
    const bool borderless = !description.HasOSWindowBorder;
    switch (message)
    {
    case WM_CREATE:
        return 0;
    case WM_DESTROY:
        RemoveNativeWindow(handle);
        return 0;
    case WM_MOVE:
    {
        const int32_t x = static_cast<int16_t>(LOWORD(lParam));
        const int32_t y = static_cast<int16_t>(HIWORD(lParam));
        // Minimising parks the window at (-32000, -32000): not a move the skin cares about.
        if (x == -32000 && y == -32000)
            return Default(window, handle, message, wParam, lParam);
        Listener().OnMoved(window, x, y);
        return 0;
    }
    case WM_SIZE:
    {
        const int32_t width = LOWORD(lParam);
        const int32_t height = HIWORD(lParam);
        if (description.IsRegularWindow && borderless)
            window->SetRegionSize(width, height);
        Listener().OnResized(window, width, height, wParam == SIZE_MINIMIZED);
        return 0;
    }
    case WM_CLOSE:
        Listener().OnClose(window);
        return 0;
    case WM_PAINT:
        Listener().OnPaint(window);
        // A listener that painted without BeginPaint (a layered window's update)
        // leaves the update region set, and the system would send WM_PAINT forever.
        ValidateRect(hwnd, nullptr);
        return 1;
    case WM_ERASEBKGND:
        // The skin paints every pixel; erasing first would flicker.
        return 1;
    case WM_GETMINMAXINFO:
    {
        xWindowSizeLimits limits;
        if (!Listener().GetSizeLimits(window, limits))
            return Default(window, handle, message, wParam, lParam);
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
    case WM_DISPLAYCHANGE:
        ReadDisplayInfo(Display);
        return Default(window, handle, message, wParam, lParam);
    case WM_NCCALCSIZE:
        // A skinned window's client area is the whole window: no frame.
        if (wParam != FALSE && borderless)
            return 0;
        return Default(window, handle, message, wParam, lParam);
    case WM_NCPAINT:
        if (borderless)
            return 0;
        return Default(window, handle, message, wParam, lParam);
    case WM_NCACTIVATE:
        if (borderless)
            return 1;
        return Default(window, handle, message, wParam, lParam);
    case WM_NCHITTEST:
    {
        if (!(borderless && description.IsRegularWindow))
            return Default(window, handle, message, wParam, lParam);
        // Without a frame the skin says where the caption and the resize edges are.
        WindowZone zone = WindowZone::Client;
        if (Listener().IsWindowInteractive(window))
        {
            RECT outer = {};
            GetWindowRect(hwnd, &outer);
            const int32_t x = static_cast<int16_t>(LOWORD(lParam));
            const int32_t y = static_cast<int16_t>(HIWORD(lParam));
            zone = Listener().HitTest(window, x - outer.left, y - outer.top);
        }
        return WindowZoneHitCode(zone);
    }
    case WM_GETDLGCODE:
        return DLGC_WANTALLKEYS;
    default:
        return Default(window, handle, message, wParam, lParam);
    }
}
