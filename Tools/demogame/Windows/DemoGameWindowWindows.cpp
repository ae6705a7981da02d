#include "DemoGameWindow.h"

#include "GameMessages.h"

#include <utility>

namespace
{
constexpr const wchar_t* WindowClass = L"RWGameDemoWindow";
constexpr const wchar_t* WindowTitle = L"霜石纪元";

// The view's client area on the screen: where the game's window belongs.
RECT ScreenArea(HWND view)
{
    RECT area = {};
    GetClientRect(view, &area);
    MapWindowPoints(view, nullptr, reinterpret_cast<POINT*>(&area), 2);
    return area;
}
} // namespace

DemoGameWindow::DemoGameWindow(HWND view, WindowMode mode, std::wstring login, bool ignoreClose)
    : View(view), Mode(mode), IgnoreClose(ignoreClose), Scene(std::move(login))
{
}

DemoGameWindow::~DemoGameWindow()
{
    if (Window != nullptr)
        DestroyWindow(Window);
}

bool DemoGameWindow::Create(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.lpszClassName = WindowClass;
    if (RegisterClassExW(&windowClass) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS)
        return false;

    if (Mode == WindowMode::Overlay)
    {
        if (!CreateOverlay(instance))
            return false;
    }
    else
    {
        RECT area = {};
        GetClientRect(View, &area);
        // No WM_PARENTNOTIFY: the view belongs to another process, and a message
        // sent there would wait on a launcher that may be busy or gone.
        Window = CreateWindowExW(WS_EX_NOPARENTNOTIFY, WindowClass, WindowTitle,
                                 WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, area.right, area.bottom, View,
                                 nullptr, instance, this);
        if (Window == nullptr)
            return false;
    }
    PostMessageW(View, GameMsgMainWindow, reinterpret_cast<WPARAM>(Window), 0);
    PostMessageW(View, GameMsgCanClose, 0, 0);
    if (Mode == WindowMode::Child)
        SetFocus(Window);
    return true;
}

bool DemoGameWindow::CreateOverlay(HINSTANCE instance)
{
    // No taskbar button, and a click leaves the launcher's frame active.
    const DWORD exStyle = WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE;
    const DWORD style = WS_POPUP | WS_CLIPSIBLINGS;
    // Owned by the view's top-level window, the popup stays just above it and
    // goes along when the launcher raises or lowers its frame. Should the owner
    // be refused, an unowned popup is kept topmost while the view shows.
    HWND root = GetAncestor(View, GA_ROOT);
    Window =
        CreateWindowExW(exStyle, WindowClass, WindowTitle, style, 0, 0, 0, 0, root, nullptr, instance, this);
    if (Window == nullptr)
        Window = CreateWindowExW(exStyle, WindowClass, WindowTitle, style, 0, 0, 0, 0, nullptr, nullptr,
                                 instance, this);
    if (Window == nullptr)
        return false;
    Owned = GetWindow(Window, GW_OWNER) == root;
    FollowView();
    return true;
}

bool DemoGameWindow::ViewShows() const
{
    // A minimised top-level window still counts as visible: ask for that too,
    // of the view's own window and of the frame that owns it.
    if (!IsWindowVisible(View) || IsIconic(View))
        return false;
    HWND root = GetAncestor(View, GA_ROOT);
    if (IsIconic(root))
        return false;
    HWND owner = GetWindow(root, GW_OWNER);
    return owner == nullptr || !IsIconic(owner);
}

void DemoGameWindow::FollowView()
{
    const bool shows = ViewShows();
    const RECT target = ScreenArea(View);
    RECT now = {};
    GetWindowRect(Window, &now);
    const bool visible = IsWindowVisible(Window) != FALSE;
    if (shows == visible && (!shows || EqualRect(&target, &now)))
        return;
    UINT flags = SWP_NOACTIVATE | (shows ? SWP_SHOWWINDOW : SWP_HIDEWINDOW);
    HWND after = nullptr;
    if (Owned)
        flags |= SWP_NOZORDER;
    else
        after = shows ? HWND_TOPMOST : HWND_NOTOPMOST;
    SetWindowPos(Window, after, target.left, target.top, target.right - target.left,
                 target.bottom - target.top, flags);
}

bool DemoGameWindow::Frame(double seconds)
{
    if (Window == nullptr || !IsWindow(View))
        return false;
    if (Mode == WindowMode::Overlay)
    {
        FollowView();
    }
    else
    {
        RECT view = {};
        RECT own = {};
        GetClientRect(View, &view);
        GetClientRect(Window, &own);
        if (view.right != own.right || view.bottom != own.bottom)
            MoveWindow(Window, 0, 0, view.right, view.bottom, FALSE);
    }
    Scene.Advance(seconds);
    InvalidateRect(Window, nullptr, FALSE);
    UpdateWindow(Window);
    return true;
}

LRESULT CALLBACK DemoGameWindow::Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE)
    {
        auto* self = static_cast<DemoGameWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->Window = window;
    }
    auto* self = reinterpret_cast<DemoGameWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (self == nullptr)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT DemoGameWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message)
    {
    case WM_ERASEBKGND:
        return 1;
    case WM_PAINT:
        Paint();
        return 0;
    case WM_MOUSEACTIVATE:
        // The overlay never takes activation from the launcher's frame.
        if (Mode == WindowMode::Overlay)
            return MA_NOACTIVATE;
        break;
    case WM_LBUTTONDOWN:
        if (Mode == WindowMode::Child)
            SetFocus(Window);
        return 0;
    case WM_KEYDOWN:
        if (wParam == VK_ESCAPE)
        {
            PostMessageW(View, GameMsgCloseFrame, 0, 0);
            return 0;
        }
        break;
    case WM_CLOSE:
        // The launcher's close button: a game started with --ignore-close stays,
        // so the launcher's second press has something to force.
        if (!IgnoreClose)
            DestroyWindow(Window);
        return 0;
    case WM_DESTROY:
        // Also when the launcher destroys the view and this child with it.
        SetWindowLongPtrW(Window, GWLP_USERDATA, 0);
        Window = nullptr;
        PostQuitMessage(0);
        return 0;
    default:
        break;
    }
    return DefWindowProcW(Window, message, wParam, lParam);
}

void DemoGameWindow::Paint()
{
    PAINTSTRUCT paint;
    HDC screen = BeginPaint(Window, &paint);
    RECT area = {};
    GetClientRect(Window, &area);
    if (HDC buffer = Buffer.Prepare(screen, area.right, area.bottom))
    {
        Canvas.Target(buffer);
        Scene.Paint(Canvas, area.right, area.bottom);
        BitBlt(screen, 0, 0, area.right, area.bottom, buffer, 0, 0, SRCCOPY);
    }
    EndPaint(Window, &paint);
}
