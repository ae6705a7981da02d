// Test helper of the end-to-end boss-key test, under Wine: posts the hot-key
// message to the launcher's game frame (the owner of the "3dWin" view), as
// Windows does for a system-wide hot key. Wine delivers a registered key only
// while one of the launcher's windows has the keyboard, which a hidden frame
// has not. Exits 0 when the message was posted, 1 when there is no frame.
#include <windows.h>

int main()
{
    const HWND view = FindWindowW(L"WispWindow", L"3dWin");
    const HWND frame = view != nullptr ? GetWindow(view, GW_OWNER) : nullptr;
    if (frame == nullptr)
        return 1;
    // Id 0, Alt+E: MOD_ALT in the low word, the virtual key in the high word.
    return PostMessageW(frame, WM_HOTKEY, 0, MAKELPARAM(MOD_ALT, 'E')) ? 0 : 1;
}
