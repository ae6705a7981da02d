// RWGame.exe, the demo game: what the launcher starts once the client is up
// to date. It draws into the launcher's game view and speaks the game's side of
// the three view messages. Usage:
//   RWGame.exe VIEW_HANDLE LOGIN_TEXT [--ignore-close]
//   RWGame.exe --window LOGIN_TEXT [--ignore-close]   (a view of its own, no launcher)
// RWGAME_WINDOW_MODE=child|overlay|auto chooses how its window sits in the view
// (WindowMode.h); the first line on stdout says which it took.
// Exit codes: 0 after WM_CLOSE or when the view is gone, 2 for bad arguments
// (or a bad RWGAME_WINDOW_MODE), 1 when its window cannot be created.
#include "DemoGameWindow.h"
#include "GameArguments.h"
#include "OwnView.h"
#include "WindowMode.h"

#include <windows.h>

#include <cstdint>
#include <string>

namespace
{
constexpr DWORD FrameMilliseconds = 33; // about 30 frames a second

// Writes `text` as UTF-8 to one of the standard handles; false when there is none.
bool WriteStandard(DWORD which, const std::wstring& text)
{
    HANDLE handle = GetStdHandle(which);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return false;
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0,
                                         nullptr, nullptr);
    std::string bytes(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), bytes.data(), size, nullptr,
                        nullptr);
    DWORD written = 0;
    return WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) != FALSE;
}

// Started by hand from a terminal the message goes to stderr; started from the
// launcher or the desktop there is none, and a message box says it instead.
void Complain(const std::wstring& reason)
{
    const std::wstring text = L"RWGame: " + reason +
                              L".\nUsage: RWGame.exe VIEW_HANDLE|--window LOGIN_TEXT [--ignore-close]\n"
                              L"(VIEW_HANDLE: the game view's window handle as an unsigned decimal number)\n";
    if (!WriteStandard(STD_ERROR_HANDLE, text))
        MessageBoxW(nullptr, text.c_str(), L"RWGame", MB_OK | MB_ICONERROR);
}

// One line on stdout, or for a debugger when there is none.
void Say(const std::wstring& line)
{
    const std::wstring text = L"RWGame: " + line + L"\n";
    if (!WriteStandard(STD_OUTPUT_HANDLE, text))
        OutputDebugStringW(text.c_str());
}

double Seconds()
{
    static LARGE_INTEGER frequency = []
    {
        LARGE_INTEGER value;
        QueryPerformanceFrequency(&value);
        return value;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    GameArguments arguments;
    const std::wstring reason = ParseGameCommandLine(GetCommandLineW(), arguments);
    if (!reason.empty())
    {
        Complain(reason);
        return 2;
    }
    // The launcher writes the handle sign-extended to 64 bits, as an HWND holds it.
    HWND view = arguments.OwnView ? CreateOwnView(instance)
                                  : reinterpret_cast<HWND>(static_cast<uintptr_t>(arguments.ViewHandle));
    if (arguments.OwnView && view == nullptr)
    {
        Complain(L"its own view could not be created (error " + std::to_wstring(GetLastError()) + L")");
        return 1;
    }
    if (!IsWindow(view))
    {
        Complain(L"the game view " + std::to_wstring(arguments.ViewHandle) + L" is no window");
        return 2;
    }

    WindowMode mode = WindowMode::Child;
    std::wstring why;
    std::wstring refused;
    if (!ChooseWindowMode(view, mode, why, refused))
    {
        Complain(refused);
        return 2;
    }
    DemoGameWindow game(view, mode, arguments.Login, arguments.IgnoreClose);
    if (!game.Create(instance))
    {
        Complain(L"the game window could not be created (error " + std::to_wstring(GetLastError()) + L")");
        return 1;
    }
    if (mode == WindowMode::Overlay)
        why += game.IsOwned() ? L"; owned by the view's window" : L"; unowned, topmost while the view shows";
    Say(std::wstring(mode == WindowMode::Overlay ? L"overlay window over the view"
                                                 : L"child window in the view") +
        L" (" + why + L")");

    double last = Seconds();
    for (;;)
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        {
            if (message.message == WM_QUIT)
                return 0;
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        const double now = Seconds();
        // The game never outlives the launcher: no view, no game.
        if (!game.Frame(now - last))
            return 0;
        last = now;
        const double spent = (Seconds() - now) * 1000.0;
        const DWORD wait = spent >= FrameMilliseconds ? 0 : FrameMilliseconds - static_cast<DWORD>(spent);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, wait, QS_ALLINPUT);
    }
}
