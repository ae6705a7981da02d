// The demo game (RWGame.exe, beside this program) as the end-to-end runs start
// it, against a game view of our own, in both of its window modes (the view's
// child; a popup over the view, as under Wine): its command line, the messages
// it posts, its window over the view, and how it ends. The launcher's side of
// the same run (auto mode under Wine, --ignore-close) is test_windows.py's.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace
{
// The numbers the launcher acts on, written out again here so that a change on
// the game's side shows.
constexpr UINT GameMsgMainWindow = WM_USER + 190;
constexpr UINT GameMsgCloseFrame = WM_USER + 191;
constexpr UINT GameMsgCanClose = WM_USER + 192;

// What the view received, in order: message and wParam.
std::vector<std::pair<UINT, WPARAM>> Received;

LRESULT CALLBACK ViewProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message >= GameMsgMainWindow && message <= GameMsgCanClose)
        Received.emplace_back(message, wParam);
    return DefWindowProcW(window, message, wParam, lParam);
}

// A borderless popup like the launcher's game view, of a class of our own.
HWND CreateView(int width, int height)
{
    static const ATOM viewClass = []
    {
        WNDCLASSEXW c = {};
        c.cbSize = sizeof c;
        c.lpfnWndProc = ViewProcedure;
        c.hInstance = GetModuleHandleW(nullptr);
        c.lpszClassName = L"DemoGameTestView";
        return RegisterClassExW(&c);
    }();
    EXPECT_NE(viewClass, 0);
    Received.clear();
    return CreateWindowExW(0, L"DemoGameTestView", L"3dWin", WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN, 40, 40,
                           width, height, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

// Handles this thread's messages (the game's window may be a child of ours)
// until `done` holds or `milliseconds` pass.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds)
{
    for (const ULONGLONG end = GetTickCount64() + milliseconds;;)
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        if (done())
            return true;
        if (GetTickCount64() >= end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    }
}

size_t CountOf(UINT id)
{
    size_t count = 0;
    for (const auto& message : Received)
        count += message.first == id ? 1 : 0;
    return count;
}

std::wstring HandleText(HWND window)
{
    return std::to_wstring(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
}

// RWGame.exe started as the launcher starts it: `arguments` after its quoted
// path, RWGAME_WINDOW_MODE as `mode` (null: unset), stdout and stderr into one
// pipe. Killed at the end.
struct GameProcess
{
    GameProcess(const std::wstring& arguments, const wchar_t* mode)
    {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        const std::wstring program =
            std::wstring(path).substr(0, std::wstring(path).find_last_of(L"\\/") + 1) + L"RWGame.exe";
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        if (!CreatePipe(&Output, &startup.hStdOutput, &inherit, 0))
            return;
        SetHandleInformation(Output, HANDLE_FLAG_INHERIT, 0);
        startup.hStdError = startup.hStdOutput;
        SetEnvironmentVariableW(L"RWGAME_WINDOW_MODE", mode);
        Started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &Info) != FALSE;
        SetEnvironmentVariableW(L"RWGAME_WINDOW_MODE", nullptr);
        CloseHandle(startup.hStdOutput);
    }
    ~GameProcess()
    {
        TerminateProcess(Info.hProcess, 99); // nothing when it has ended
        for (HANDLE handle : {Info.hThread, Info.hProcess, Output})
            CloseHandle(handle);
    }
    // Waits (handling our messages) for the end; the exit code, or -1 when it still runs.
    long ExitCode(DWORD milliseconds) const
    {
        DWORD code = 0;
        const auto ended = [this] { return WaitForSingleObject(Info.hProcess, 0) != WAIT_TIMEOUT; };
        return Started && PumpUntil(ended, milliseconds) && GetExitCodeProcess(Info.hProcess, &code)
                   ? long(code)
                   : -1;
    }
    // Everything it wrote, once it has ended.
    std::string Text() const
    {
        std::string text;
        char buffer[512];
        for (DWORD read = 0; ReadFile(Output, buffer, sizeof buffer, &read, nullptr) && read > 0;)
            text.append(buffer, read);
        return text;
    }

    bool Started = false;
    PROCESS_INFORMATION Info = {};
    HANDLE Output = nullptr;
};

RECT ScreenArea(HWND window)
{
    RECT area = {};
    GetClientRect(window, &area);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&area), 2);
    return area;
}

// Waits until the game's window is shown over exactly the view's client area.
bool OverTheView(HWND main, HWND view)
{
    return PumpUntil(
        [&]
        {
            const RECT want = ScreenArea(view), have = ScreenArea(main);
            return IsWindowVisible(main) && EqualRect(&want, &have);
        },
        5000);
}

class DemoGameInView : public testing::TestWithParam<bool> // the overlay popup, or the view's child
{
};
} // namespace

TEST_P(DemoGameInView, CoversTheViewFollowsItAsksForTheFrameOnEscapeAndEndsOnClose)
{
    const bool overlay = GetParam();
    HWND view = CreateView(640, 400);
    ASSERT_NE(view, nullptr);
    GameProcess game(HandleText(view) + L" sid=1,uid=2,time=5", overlay ? L"overlay" : L"child");
    ASSERT_TRUE(game.Started) << "RWGame.exe must lie beside the tests";
    ASSERT_TRUE(
        PumpUntil([] { return CountOf(GameMsgMainWindow) == 1 && CountOf(GameMsgCanClose) == 1; }, 20000))
        << "the game posts GameMsgMainWindow and GameMsgCanClose to the view; exit code " << game.ExitCode(0);
    HWND main = nullptr;
    for (const auto& [id, wParam] : Received)
        main = id == GameMsgMainWindow ? reinterpret_cast<HWND>(wParam) : main;
    ASSERT_TRUE(IsWindow(main));
    DWORD owner = 0;
    GetWindowThreadProcessId(main, &owner);
    EXPECT_EQ(owner, game.Info.dwProcessId) << "the window reported is the game's own";
    const LONG style = GetWindowLongW(main, GWL_STYLE), exStyle = GetWindowLongW(main, GWL_EXSTYLE);
    if (overlay)
    {
        EXPECT_EQ(GetAncestor(main, GA_PARENT), GetDesktopWindow()) << "the overlay is a top-level window";
        EXPECT_EQ(style & (WS_CHILD | WS_POPUP | WS_CAPTION | WS_THICKFRAME), WS_POPUP) << "borderless popup";
        EXPECT_EQ(exStyle & (WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE), WS_EX_TOOLWINDOW | WS_EX_NOACTIVATE)
            << "no taskbar button, no activation";
        EXPECT_TRUE(GetWindow(main, GW_OWNER) == view || (exStyle & WS_EX_TOPMOST) != 0)
            << "owned by the view, or else kept topmost";
    }
    else
    {
        EXPECT_EQ(GetAncestor(main, GA_PARENT), view) << "the game's window is the view's child";
    }
    EXPECT_TRUE(OverTheView(main, view)) << "at the start";
    SetWindowPos(view, nullptr, 130, 90, 720, 450, SWP_NOZORDER);
    EXPECT_TRUE(OverTheView(main, view)) << "after a move and a resize";
    // A minimised view still counts as visible: the overlay must see it; a child stays visible inside it.
    for (const int hide : {SW_HIDE, overlay ? SW_MINIMIZE : SW_HIDE})
    {
        ShowWindow(view, hide);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); }, 5000))
            << "hidden with the view " << hide;
        ShowWindow(view, SW_RESTORE);
        EXPECT_TRUE(OverTheView(main, view)) << "shown again after " << hide;
    }

    PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_TRUE(PumpUntil([] { return CountOf(GameMsgCloseFrame) == 1; }, 5000))
        << "Escape asks to close the frame";
    EXPECT_EQ(game.ExitCode(0), -1) << "asking is all: the launcher closes the frame";
    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(game.ExitCode(10000), 0) << "WM_CLOSE ends the game";
    EXPECT_EQ(CountOf(GameMsgMainWindow), 1u) << "one greeting per start";
    const std::string text = game.Text();
    EXPECT_NE(text.find(overlay ? "overlay window over the view" : "child window in the view"),
              std::string::npos)
        << "the game says its mode: " << text;
    DestroyWindow(view);
}

INSTANTIATE_TEST_SUITE_P(Modes, DemoGameInView, testing::Values(false, true),
                         [](const testing::TestParamInfo<bool>& info)
                         { return info.param ? "Overlay" : "Child"; });

TEST(DemoGame, RefusesCommandLinesItCannotUseWithExitCodeTwo)
{
    HWND gone = CreateView(100, 100);
    DestroyWindow(gone);
    HWND view = CreateView(100, 100);
    ASSERT_NE(view, nullptr);
    const struct
    {
        std::wstring Arguments;
        const char* Says;
        const wchar_t* Mode = nullptr; // RWGAME_WINDOW_MODE
    } cases[] = {
        {L"", "handle is missing"},
        {L"-5 sid=1", "'-5' is not an unsigned decimal"},
        {L"18446744073709551616 sid=1", "'18446744073709551616' is not an unsigned decimal"},
        {L"0 sid=1", "handle is 0"},
        {HandleText(view) + L"   --ignore-close", "login text is missing"},
        {HandleText(gone) + L" sid=1", "is no window"},
        {HandleText(view) + L" sid=1", "RWGAME_WINDOW_MODE is 'Overlay', not child, overlay or auto",
         L"Overlay"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.Arguments.begin(), c.Arguments.end()));
        GameProcess game(c.Arguments, c.Mode);
        ASSERT_EQ(game.ExitCode(15000), 2);
        const std::string text = game.Text();
        EXPECT_NE(text.find(c.Says), std::string::npos) << text;
        EXPECT_NE(text.find("Usage: RWGame.exe"), std::string::npos) << text;
    }
    EXPECT_TRUE(Received.empty()) << "a refused start posts nothing";
    DestroyWindow(view);
}

// By hand, without a launcher: a view "3dWin" of its own with the game inside,
// where Wine draws a child, ending when that view is closed.
TEST(DemoGame, WithItsOwnWindowPlaysWithoutALauncherAndEndsWithIt)
{
    GameProcess game(L"--window sid=1,uid=2,time=5", nullptr);
    HWND view = nullptr;
    const auto found = [&]
    {
        for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, nullptr, L"3dWin")) != nullptr;)
        {
            DWORD owner = 0;
            GetWindowThreadProcessId(w, &owner);
            view = owner == game.Info.dwProcessId && GetWindow(w, GW_CHILD) != nullptr ? w : view;
        }
        return view != nullptr;
    };
    ASSERT_TRUE(game.Started && PumpUntil(found, 20000))
        << "a window 3dWin of the game's own, with the game inside";
    PostMessageW(view, WM_CLOSE, 0, 0);
    EXPECT_EQ(game.ExitCode(10000), 0) << "closing its own view ends the game";
    EXPECT_NE(game.Text().find("child window in the view"), std::string::npos);
}
