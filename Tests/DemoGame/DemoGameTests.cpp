// The demo game (RWGame.exe, beside this program) against a game view of our
// own, in both of its window modes (the view's child; a popup over the view, as
// under Wine): the messages it posts, its window over the view, how it ends, and
// how it refuses a command line it cannot use. --ignore-close is the end-to-end
// tests' (the launcher closes such a game's frame all the same).
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
constexpr const wchar_t* ModeVariable = L"RWGAME_WINDOW_MODE";

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

// Handles this thread's messages (the game's window is a child of ours, so
// it sends us some) until `done` holds or `milliseconds` pass.
bool PumpUntil(const std::function<bool()>& done, DWORD milliseconds)
{
    const ULONGLONG end = GetTickCount64() + milliseconds;
    for (;;)
    {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
        {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
        if (done())
            return true;
        const ULONGLONG now = GetTickCount64();
        if (now >= end)
            return false;
        MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min<ULONGLONG>(end - now, 20)),
                                  QS_ALLINPUT);
    }
}

std::wstring HandleText(HWND window)
{
    return std::to_wstring(static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)));
}

// RWGame.exe started with `arguments` after its quoted path, as the launcher
// starts it; its stdout and stderr go to one pipe. Killed if still running at the end.
class GameProcess
{
public:
    explicit GameProcess(const std::wstring& arguments)
    {
        wchar_t path[MAX_PATH] = {};
        GetModuleFileNameW(nullptr, path, MAX_PATH);
        std::wstring program = path;
        program = program.substr(0, program.find_last_of(L"\\/") + 1) + L"RWGame.exe";
        std::wstring commandLine = L"\"" + program + L"\" " + arguments;

        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        HANDLE write = nullptr;
        if (!CreatePipe(&Output, &write, &inherit, 0))
            return;
        SetHandleInformation(Output, HANDLE_FLAG_INHERIT, 0);
        STARTUPINFOW startup = {};
        startup.cb = sizeof startup;
        startup.dwFlags = STARTF_USESTDHANDLES;
        startup.hStdOutput = startup.hStdError = write;
        Started = CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                                 nullptr, &startup, &Info) != FALSE;
        CloseHandle(write);
    }
    ~GameProcess()
    {
        if (Started)
        {
            if (Running())
                TerminateProcess(Info.hProcess, 99);
            CloseHandle(Info.hThread);
            CloseHandle(Info.hProcess);
        }
        if (Output != nullptr)
            CloseHandle(Output);
    }
    GameProcess(const GameProcess&) = delete;
    GameProcess& operator=(const GameProcess&) = delete;

    bool Running() const { return Started && WaitForSingleObject(Info.hProcess, 0) == WAIT_TIMEOUT; }
    // Waits (handling our messages) for the end; the exit code, or -1 when it still runs.
    long ExitCode(DWORD milliseconds) const
    {
        DWORD code = 0;
        if (!Started || !PumpUntil([this] { return !Running(); }, milliseconds) ||
            !GetExitCodeProcess(Info.hProcess, &code))
            return -1;
        return static_cast<long>(code);
    }
    // Everything it wrote, once it has ended.
    std::string Text() const
    {
        std::string text;
        char buffer[512];
        DWORD read = 0;
        while (ReadFile(Output, buffer, sizeof buffer, &read, nullptr) && read > 0)
            text.append(buffer, read);
        return text;
    }

    bool Started = false;
    PROCESS_INFORMATION Info = {};

private:
    HANDLE Output = nullptr;
};

// The wParams of the messages `id` the view received, in order.
std::vector<WPARAM> Posted(UINT id)
{
    std::vector<WPARAM> found;
    for (const auto& message : Received)
        if (message.first == id)
            found.push_back(message.second);
    return found;
}

size_t CountOf(UINT id)
{
    return Posted(id).size();
}

bool UnderWine()
{
    return GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
}

// One way to start the game: RWGAME_WINDOW_MODE (null: unset) and whether its
// window must then be the overlay popup.
struct Mode
{
    const char* Name;
    const wchar_t* Variable;
    bool Overlay;
};

// Starts the game in `view` and waits for both of its greetings; the game's
// main window, or null (with a failure) when they do not come.
HWND StartAndGreet(GameProcess& game, HWND view, bool overlay)
{
    EXPECT_TRUE(game.Started) << "RWGame.exe must lie beside the tests";
    const bool greeted =
        PumpUntil([] { return CountOf(GameMsgMainWindow) == 1 && CountOf(GameMsgCanClose) == 1; }, 20000);
    EXPECT_TRUE(greeted) << "the game posts GameMsgMainWindow and GameMsgCanClose to the view; got "
                         << Received.size() << " messages, exit code " << game.ExitCode(0)
                         << ", output: " << (game.Running() ? std::string("(still running)") : game.Text());
    HWND main = greeted ? reinterpret_cast<HWND>(Posted(GameMsgMainWindow)[0]) : nullptr;
    if (main == nullptr || !IsWindow(main))
        return nullptr;
    const LONG style = GetWindowLongW(main, GWL_STYLE);
    const LONG exStyle = GetWindowLongW(main, GWL_EXSTYLE);
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
        EXPECT_NE(style & WS_CHILD, 0);
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(main, &owner);
    EXPECT_EQ(owner, game.Info.dwProcessId) << "the window reported is the game's own";
    return main;
}

RECT ScreenArea(HWND window)
{
    RECT area = {};
    GetClientRect(window, &area);
    MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&area), 2);
    return area;
}

// Waits until the game's window covers exactly the view's client area.
void ExpectOverTheView(HWND main, HWND view, const char* when)
{
    const bool over = PumpUntil(
        [&]
        {
            const RECT want = ScreenArea(view);
            const RECT have = ScreenArea(main);
            return IsWindowVisible(main) && EqualRect(&want, &have);
        },
        5000);
    EXPECT_TRUE(over) << when << ": the game's window covers the view's client area";
}

// Sets RWGAME_WINDOW_MODE for the games each case starts, and clears it after.
class DemoGameInView : public testing::TestWithParam<Mode>
{
protected:
    void SetUp() override { SetEnvironmentVariableW(ModeVariable, GetParam().Variable); }
    void TearDown() override { SetEnvironmentVariableW(ModeVariable, nullptr); }
    const char* ModeLine() const
    {
        return GetParam().Overlay ? "overlay window over the view" : "child window in the view";
    }
};
} // namespace

TEST_P(DemoGameInView, CoversTheViewFollowsItAsksForTheFrameOnEscapeAndEndsOnClose)
{
    HWND view = CreateView(640, 400);
    ASSERT_NE(view, nullptr);
    GameProcess game(HandleText(view) + L" sid=1,uid=2,time=5");
    HWND main = StartAndGreet(game, view, GetParam().Overlay);
    ASSERT_NE(main, nullptr);
    ExpectOverTheView(main, view, "at the start");

    SetWindowPos(view, nullptr, 130, 90, 720, 450, SWP_NOZORDER);
    ExpectOverTheView(main, view, "after a move and a resize");

    ShowWindow(view, SW_HIDE);
    EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); }, 5000)) << "hidden with the view";
    ShowWindow(view, SW_SHOWNA);
    ExpectOverTheView(main, view, "shown again");
    if (GetParam().Overlay)
    {
        // A minimised view still counts as visible: the overlay must see it.
        ShowWindow(view, SW_MINIMIZE);
        EXPECT_TRUE(PumpUntil([&] { return !IsWindowVisible(main); }, 5000))
            << "hidden while the view is minimised";
        ShowWindow(view, SW_RESTORE);
        ExpectOverTheView(main, view, "restored");
    }

    // A click on the game leaves the launcher's window the active one.
    SetForegroundWindow(view);
    ASSERT_TRUE(PumpUntil([&] { return GetForegroundWindow() == view; }, 2000));
    const RECT area = ScreenArea(main);
    SetCursorPos((area.left + area.right) / 2, (area.top + area.bottom) / 2);
    INPUT click[2] = {};
    click[0].type = click[1].type = INPUT_MOUSE;
    click[0].mi.dwFlags = MOUSEEVENTF_LEFTDOWN;
    click[1].mi.dwFlags = MOUSEEVENTF_LEFTUP;
    SendInput(2, click, sizeof(INPUT));
    PumpUntil([] { return false; }, 500);
    EXPECT_EQ(GetForegroundWindow(), view) << "the click left the view's window active";

    PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_TRUE(PumpUntil([] { return CountOf(GameMsgCloseFrame) == 1; }, 5000))
        << "Escape asks to close the frame";
    EXPECT_TRUE(game.Running()) << "asking is all: the launcher closes the frame";

    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(game.ExitCode(10000), 0) << "WM_CLOSE ends the game";
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(CountOf(GameMsgMainWindow), 1u) << "one greeting per start";
    const std::string text = game.Text();
    EXPECT_NE(text.find(ModeLine()), std::string::npos) << "the game says its mode: " << text;
    DestroyWindow(view);
}

// Unset, the game picks the overlay under Wine (the view being another
// process's) and the child on Windows.
INSTANTIATE_TEST_SUITE_P(Modes, DemoGameInView,
                         testing::Values(Mode{"Auto", nullptr, UnderWine()}, Mode{"Child", L"child", false},
                                         Mode{"Overlay", L"overlay", true}),
                         [](const testing::TestParamInfo<Mode>& info)
                         { return std::string(info.param.Name); });

TEST(DemoGame, RefusesCommandLinesItCannotUseWithExitCodeTwo)
{
    HWND gone = CreateView(100, 100);
    ASSERT_NE(gone, nullptr);
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
        SetEnvironmentVariableW(ModeVariable, c.Mode);
        GameProcess game(c.Arguments);
        SetEnvironmentVariableW(ModeVariable, nullptr);
        ASSERT_TRUE(game.Started);
        const long code = game.ExitCode(15000);
        EXPECT_EQ(code, 2);
        if (code < 0)
            continue; // still running: its output has no end to read up to
        const std::string text = game.Text();
        EXPECT_NE(text.find(c.Says), std::string::npos) << text;
        EXPECT_NE(text.find("Usage: RWGame.exe"), std::string::npos) << text;
    }
    EXPECT_TRUE(Received.empty()) << "a refused start posts nothing";
    DestroyWindow(view);
}

TEST(DemoGame, WithItsOwnWindowPlaysWithoutALauncherAndEndsWithIt)
{
    Received.clear();
    GameProcess game(L"--window sid=1,uid=2,time=5");
    ASSERT_TRUE(game.Started);
    HWND view = nullptr;
    const bool found = PumpUntil(
        [&]
        {
            for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, nullptr, L"3dWin")) != nullptr;)
            {
                DWORD owner = 0;
                GetWindowThreadProcessId(w, &owner);
                if (owner == game.Info.dwProcessId && GetWindow(w, GW_CHILD) != nullptr)
                    view = w;
            }
            return view != nullptr;
        },
        20000);
    ASSERT_TRUE(found) << "a top-level window 3dWin of the game's own, with the game inside";
    EXPECT_TRUE(IsWindowVisible(view));

    PostMessageW(view, WM_CLOSE, 0, 0);
    EXPECT_EQ(game.ExitCode(10000), 0) << "closing its own view ends the game";
    const std::string text = game.Text();
    EXPECT_NE(text.find("child window in the view"), std::string::npos)
        << "a view in its own process needs no overlay, even under Wine: " << text;
}
