// The least a launcher could do before its first window: one layered popup of
// the main frame's size and title, filled once through UpdateLayeredWindow as
// the skin is, then waiting for messages. scripts/bench-window.sh starts it the
// way it starts the launcher, so the two start-up times compare.
#include <windows.h>

#include <cstdint>
#include <cstring>

namespace
{
constexpr int Width = 1280;
constexpr int Height = 829;

LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DESTROY)
        PostQuitMessage(0);
    return DefWindowProcW(window, message, wParam, lParam);
}

// An opaque frost-blue picture pushed to the layered window.
void PaintOnce(HWND window)
{
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = Width;
    info.bmiHeader.biHeight = -Height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(nullptr);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    auto* pixels = static_cast<uint32_t*>(bits);
    for (int index = 0; index < Width * Height; ++index)
        pixels[index] = 0xFF1B2A44u;
    POINT origin = {0, 0};
    SIZE size = {Width, Height};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    UpdateLayeredWindow(window, screen, nullptr, &size, memory, &origin, 0, &blend, ULW_ALPHA);
    SelectObject(memory, previous);
    DeleteObject(bitmap);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);
}
} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSW windowClass = {};
    windowClass.lpfnWndProc = Procedure;
    windowClass.hInstance = instance;
    windowClass.lpszClassName = L"FirstWindow";
    windowClass.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
    RegisterClassW(&windowClass);
    const int left = (GetSystemMetrics(SM_CXSCREEN) - Width) / 2;
    const int top = (GetSystemMetrics(SM_CYSCREEN) - Height) / 2;
    HWND window =
        CreateWindowExW(WS_EX_LAYERED | WS_EX_APPWINDOW, L"FirstWindow", L"\u971C\u77F3\u7EAA\u5143",
                        WS_POPUP, left, top, Width, Height, nullptr, nullptr, instance, nullptr);
    PaintOnce(window);
    ShowWindow(window, SW_SHOW);
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0)
    {
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    return 0;
}
