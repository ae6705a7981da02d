#include "GameView.h"

#include "xNativeWindow.h"

#include <windows.h>

namespace
{
// The game's view size until the frame's first tick places it.
constexpr int ViewWidth = 1366;
constexpr int ViewHeight = 768;
const wchar_t ViewTitle[] = L"3dWin";
const wchar_t ListenerProperty[] = L"WispGameViewListener";
const wchar_t PreviousProcedureProperty[] = L"WispGameViewPrevious";

LRESULT CALLBACK GameViewProc(HWND handle, UINT message, WPARAM wParam, LPARAM lParam)
{
    auto* listener = static_cast<GameViewListener*>(GetPropW(handle, ListenerProperty));
    if (listener != nullptr)
    {
        if (message == GameMsgMainWindow)
            listener->OnGameMainWindow(static_cast<uint64_t>(wParam));
        else if (message == GameMsgCloseFrame)
            listener->OnGameCloseFrame();
        else if (message == GameMsgCanClose)
            listener->OnGameCanClose();
    }
    // Every message, these too, goes on to the class's procedure.
    const auto previous = reinterpret_cast<WNDPROC>(GetPropW(handle, PreviousProcedureProperty));
    if (previous == nullptr)
        return DefWindowProcW(handle, message, wParam, lParam);
    return CallWindowProcW(previous, handle, message, wParam, lParam);
}
} // namespace

GameView::GameView(xNativeWindow& frame, xWindowPoint origin, GameViewListener& listener)
{
    const HWND handle =
        CreateWindowExW(0, L"WispWindow", ViewTitle, WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN, origin.X,
                        origin.Y, ViewWidth, ViewHeight, static_cast<HWND>(frame.Handle()), nullptr,
                        GetModuleHandleW(nullptr), nullptr);
    Handle = handle;
    if (handle == nullptr)
        return;
    UpdateWindow(handle);
    SetPropW(handle, ListenerProperty, &listener);
    if (reinterpret_cast<WNDPROC>(GetWindowLongPtrW(handle, GWLP_WNDPROC)) != GameViewProc)
    {
        const LONG_PTR previous =
            SetWindowLongPtrW(handle, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(GameViewProc));
        SetPropW(handle, PreviousProcedureProperty, reinterpret_cast<HANDLE>(previous));
    }
}

GameView::~GameView()
{
    const HWND handle = static_cast<HWND>(Handle);
    if (handle == nullptr)
        return;
    // Messages still queued for the view must not reach a frame that is gone.
    RemovePropW(handle, ListenerProperty);
    const auto previous = reinterpret_cast<LONG_PTR>(RemovePropW(handle, PreviousProcedureProperty));
    if (previous != 0)
        SetWindowLongPtrW(handle, GWLP_WNDPROC, previous);
    DestroyWindow(handle);
}

uint64_t GameView::HandleValue() const
{
    // The handle's value sign-extended to 64 bits, as the games read it.
    return static_cast<uint64_t>(static_cast<int64_t>(reinterpret_cast<intptr_t>(Handle)));
}

void GameView::Place(const xWindowRect& screenRect)
{
    if (Handle != nullptr)
        MoveWindow(static_cast<HWND>(Handle), screenRect.Left, screenRect.Top,
                   screenRect.Right - screenRect.Left, screenRect.Bottom - screenRect.Top, TRUE);
}

void GameView::Show()
{
    if (Handle != nullptr)
        ShowWindow(static_cast<HWND>(Handle), SW_SHOW);
}

void GameView::Hide()
{
    if (Handle != nullptr)
        ShowWindow(static_cast<HWND>(Handle), SW_HIDE);
}

xProcessHandle GameView::StartGame(const xWString& program, const xWString& arguments) const
{
    return StartProcess(program, arguments, xWString(), nullptr);
}

bool IsGameWindowAlive(uint64_t handle)
{
    return IsWindow(reinterpret_cast<HWND>(static_cast<uintptr_t>(handle))) != FALSE;
}

void AskGameWindowToClose(uint64_t handle)
{
    PostMessageW(reinterpret_cast<HWND>(static_cast<uintptr_t>(handle)), WM_CLOSE, 0, 0);
}

xWString GameRunner()
{
    return xWString();
}
