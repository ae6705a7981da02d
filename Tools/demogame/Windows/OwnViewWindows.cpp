#include "OwnView.h"

#include "GameMessages.h"

namespace
{
LRESULT CALLBACK OwnViewProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    // What the launcher's frame does on the game's request.
    if (message == GameMsgCloseFrame)
    {
        DestroyWindow(window);
        return 0;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
} // namespace

HWND CreateOwnView(HINSTANCE instance)
{
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = OwnViewProcedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    windowClass.lpszClassName = L"RWGameOwnView";
    if (RegisterClassExW(&windowClass) == 0)
        return nullptr;
    RECT area = {0, 0, 1280, 720};
    const DWORD style = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
    AdjustWindowRectEx(&area, style, FALSE, 0);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    HWND view = CreateWindowExW(
        0, L"RWGameOwnView", L"3dWin", style, (GetSystemMetrics(SM_CXSCREEN) - width) / 2,
        (GetSystemMetrics(SM_CYSCREEN) - height) / 2, width, height, nullptr, nullptr, instance, nullptr);
    if (view != nullptr)
        ShowWindow(view, SW_SHOW);
    return view;
}
