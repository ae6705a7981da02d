// The demo game (RWGame.exe, beside this program) against a game view of our
// own: the messages it posts, its window inside the view, how it ends, and how
// it refuses a command line it cannot use.
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

HWND ReportedMainWindow()
{
    for (const auto& message : Received)
        if (message.first == GameMsgMainWindow)
            return reinterpret_cast<HWND>(message.second);
    return nullptr;
}

size_t CountOf(UINT id)
{
    size_t count = 0;
    for (const auto& message : Received)
        count += message.first == id ? 1 : 0;
    return count;
}

SIZE ClientSize(HWND window)
{
    RECT area = {};
    GetClientRect(window, &area);
    return SIZE{area.right, area.bottom};
}

// Starts the game in `view` and waits for both of its greetings; the game's
// main window, or null (with a failure) when they do not come.
HWND StartAndGreet(GameProcess& game, HWND view)
{
    EXPECT_TRUE(game.Started) << "RWGame.exe must lie beside the tests";
    const bool greeted =
        PumpUntil([] { return CountOf(GameMsgMainWindow) == 1 && CountOf(GameMsgCanClose) == 1; }, 20000);
    EXPECT_TRUE(greeted) << "the game posts GameMsgMainWindow and GameMsgCanClose to the view; got "
                         << Received.size() << " messages, exit code " << game.ExitCode(0)
                         << ", output: " << (game.Running() ? std::string("(still running)") : game.Text());
    HWND main = ReportedMainWindow();
    if (!greeted || main == nullptr || !IsWindow(main))
        return nullptr;
    EXPECT_EQ(GetAncestor(main, GA_PARENT), view) << "the game's window is the view's child";
    EXPECT_NE(GetWindowLongW(main, GWL_STYLE) & WS_CHILD, 0);
    DWORD owner = 0;
    GetWindowThreadProcessId(main, &owner);
    EXPECT_EQ(owner, game.Info.dwProcessId) << "the window reported is the game's own";
    return main;
}
} // namespace

TEST(DemoGame, FillsTheViewFollowsItsSizeAsksForTheFrameOnEscapeAndEndsOnClose)
{
    HWND view = CreateView(640, 400);
    ASSERT_NE(view, nullptr);
    GameProcess game(HandleText(view) + L" sid=1,uid=2,time=5");
    HWND main = StartAndGreet(game, view);
    ASSERT_NE(main, nullptr);
    EXPECT_TRUE(PumpUntil([&] { return ClientSize(main).cx == 640 && ClientSize(main).cy == 400; }, 5000))
        << "the game's window fills the view";

    SetWindowPos(view, nullptr, 0, 0, 900, 520, SWP_NOMOVE | SWP_NOZORDER);
    EXPECT_TRUE(PumpUntil([&] { return ClientSize(main).cx == 900 && ClientSize(main).cy == 520; }, 5000))
        << "the game's window follows the view's size; now " << ClientSize(main).cx << " x "
        << ClientSize(main).cy;

    PostMessageW(main, WM_KEYDOWN, VK_ESCAPE, 0x00010001);
    EXPECT_TRUE(PumpUntil([] { return CountOf(GameMsgCloseFrame) == 1; }, 5000))
        << "Escape asks to close the frame";
    EXPECT_TRUE(game.Running()) << "asking is all: the launcher closes the frame";

    PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(game.ExitCode(10000), 0) << "WM_CLOSE ends the game";
    EXPECT_FALSE(IsWindow(main));
    EXPECT_EQ(CountOf(GameMsgMainWindow), 1u) << "one greeting per start";
    DestroyWindow(view);
}

TEST(DemoGame, WithIgnoreCloseOutlivesCloseButNeverItsView)
{
    HWND view = CreateView(480, 300);
    ASSERT_NE(view, nullptr);
    GameProcess game(HandleText(view) + L" sid=7,uid=player one,time=0 --ignore-close");
    HWND main = StartAndGreet(game, view);
    ASSERT_NE(main, nullptr);

    PostMessageW(main, WM_CLOSE, 0, 0);
    PumpUntil([] { return false; }, 2000);
    EXPECT_TRUE(game.Running()) << "--ignore-close: WM_CLOSE changes nothing for 2 s";
    EXPECT_TRUE(IsWindow(main));

    DestroyWindow(view);
    EXPECT_EQ(game.ExitCode(10000), 0) << "the game ends with its view";
}

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
    } cases[] = {
        {L"", "handle is missing"},
        {L"sid=1,uid=2", "'sid=1,uid=2' is not an unsigned decimal"},
        {L"-5 sid=1", "'-5' is not an unsigned decimal"},
        {L"0x10 sid=1", "'0x10' is not an unsigned decimal"},
        {L"18446744073709551616 sid=1", "'18446744073709551616' is not an unsigned decimal"},
        {L"0 sid=1", "handle is 0"},
        {HandleText(view), "login text is missing"},
        {HandleText(view) + L"   --ignore-close", "login text is missing"},
        {HandleText(gone) + L" sid=1", "is no window"},
        {L"--window --ignore-close", "login text is missing"},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(std::string(c.Arguments.begin(), c.Arguments.end()));
        GameProcess game(c.Arguments);
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
    struct Search
    {
        DWORD Process;
        HWND View;
    } search = {game.Info.dwProcessId, nullptr};
    auto findView = [](HWND window, LPARAM lParam) -> BOOL
    {
        auto* s = reinterpret_cast<Search*>(lParam);
        DWORD owner = 0;
        GetWindowThreadProcessId(window, &owner);
        wchar_t title[16] = {};
        GetWindowTextW(window, title, 16);
        if (owner == s->Process && std::wstring(title) == L"3dWin" && GetWindow(window, GW_CHILD) != nullptr)
            s->View = window;
        return s->View == nullptr;
    };
    const bool found = PumpUntil(
        [&]
        {
            EnumWindows(findView, reinterpret_cast<LPARAM>(&search));
            return search.View != nullptr;
        },
        20000);
    ASSERT_TRUE(found) << "a top-level window 3dWin of the game's own, with the game inside";
    EXPECT_TRUE(IsWindowVisible(search.View));

    PostMessageW(search.View, WM_CLOSE, 0, 0);
    EXPECT_EQ(game.ExitCode(10000), 0) << "closing its own view ends the game";
}
