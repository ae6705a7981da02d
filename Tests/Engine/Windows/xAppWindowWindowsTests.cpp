#include "xAppWindow.h"

#include "xCanvas.h"
#include "xImageDecoder.h"

#include "xWindowRules.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <objbase.h>
#include <shobjidl.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <thread>
#include <string>
#include <utility>
#include <vector>

// The shipped windows' styles, sizes and regions are SkinWindowWindows'; the styles, regions, centring, size
// limits, hit codes, input routing and shortcut flags are xWindowRules' and xInputRules' (their tables); here
// one check each that the window procedure and the system use them, and what only Win32 shows.
namespace
{
using Pair = std::pair<long, long>;
using Texts = std::vector<std::string>;

// The splash screen's window as the skin loader describes it; the game window is square and sizable.
WindowDescription Splash(bool gameWindow = false)
{
    WindowDescription d;
    d.XDesiredPositionOnScreen = d.YDesiredPositionOnScreen = -1;
    d.WidthDesiredOnScreen = gameWindow ? 1380 : 591;
    d.HeightDesiredOnScreen = gameWindow ? 820 : 304;
    d.CornerRadius = gameWindow ? 0 : 5;
    d.Transparency = gameWindow ? 0 : 1;
    d.IsInTaskbar = d.ActivateWhenFirstShown = d.FocusWhenFirstShown = d.IsRegularWindow = true;
    d.IsTopmostWindow = !gameWindow;
    d.HasSizingFrame = gameWindow;
    return d;
}

HWND Hwnd(const xNativeWindow* window)
{
    return static_cast<HWND>(window->Handle());
}

// What the window procedure told the listener, as text ("call arguments"), and what the listener answers.
class RecordingListener : public xAppWindowListener
{
public:
    bool IsWindowInteractive(xNativeWindow*) override { return Interactive; }
    WindowZone HitTest(xNativeWindow*, int32_t x, int32_t y) override
    {
        Hit = {x, y};
        ++HitTests;
        return WindowZone::BottomRight;
    }
    bool GetSizeLimits(xNativeWindow*, xWindowSizeLimits& limits) override
    {
        limits = {400, 300, -1, -1};
        return GivesLimits;
    }
    void OnResized(xNativeWindow*, int32_t width, int32_t height, bool minimised) override
    {
        Note("size", width, height, minimised);
    }
    void OnMoved(xNativeWindow*, int32_t x, int32_t y) override { Note("move", x, y); }
    void OnPaint(xNativeWindow* window) override
    {
        Note("paint");
        if (PaintWith)
            PaintWith(window);
    }
    void OnClose(xNativeWindow*) override { Note("close"); }
    void OnHotKey(xNativeWindow*, int32_t id, intptr_t data) override { Note("hotkey", id, data); }
    void OnChar(uint32_t c, bool repeat) override { Note("char", c, repeat); }
    void OnKeyUp(uint32_t key, uint32_t c, bool repeat) override { Note("keyup", key, c, repeat); }
    void OnMouseDown(xNativeWindow*, MouseButton b, float x, float y) override { Note("down", int(b), x, y); }
    bool OnMouseWheel(float steps, float x, float y) override { return Note("wheel", steps, x, y); }
    bool OnMouseMove(xNativeWindow*) override { return Note("mousemove"); }
    void OnRawMouseMove(int32_t dx, int32_t dy) override { Note("raw", dx, dy); }
    bool OnSetCursor() override { return Note("cursor"); }
    bool OnActivate(xNativeWindow*, ActivationKind kind) override { return Note("activate", int(kind)); }
    void OnSlateModeChanged() override { Note("slate"); }
    bool OnWindowButton(xNativeWindow*, WindowButtonAction action) override
    {
        return Note("button", int(action)) && false;
    }
    void OnUnhandledMessage(xNativeWindow*, uint32_t message, uintptr_t, intptr_t) override
    {
        Unhandled.push_back(message);
    }

    template <typename... Values> bool Note(const char* name, Values... values)
    {
        std::ostringstream text;
        text << name;
        ((text << ' ' << values), ...);
        Calls.push_back(text.str());
        return true;
    }

    bool Interactive = true, GivesLimits = false;
    Pair Hit;
    int HitTests = 0;
    std::function<void(xNativeWindow*)> PaintWith; // what a paint draws, when set
    Texts Calls;
    std::vector<uint32_t> Unhandled;
};

class xAppWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ComReady = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
        App = std::make_unique<xAppWindow>(GetModuleHandleW(nullptr));
        App->SetListener(&Listener);
    }
    void TearDown() override
    {
        App.reset();
        if (ComReady)
            CoUninitialize();
    }

    xNativeWindow* Create(const WindowDescription& description)
    {
        xNativeWindow* window = App->CreateNativeWindow(description);
        EXPECT_NE(window->Handle(), nullptr) << "CreateWindowExW failed: " << GetLastError();
        return window;
    }
    // A skinned window with its corner at (200, 150) on screen.
    HWND PlacedSplash(const WindowDescription& description = Splash())
    {
        const HWND handle = Hwnd(Create(description));
        SetWindowPos(handle, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
        return handle;
    }

    static Pair ClientOrigin(HWND handle)
    {
        POINT origin = {0, 0};
        ClientToScreen(handle, &origin);
        return {origin.x, origin.y};
    }
    static Pair ClientSize(HWND handle)
    {
        RECT client = {};
        GetClientRect(handle, &client);
        return {client.right, client.bottom};
    }
    static RECT Outer(HWND handle)
    {
        RECT outer = {};
        GetWindowRect(handle, &outer);
        return outer;
    }

    bool ComReady = false;
    RecordingListener Listener;
    std::unique_ptr<xAppWindow> App;
};
} // namespace

TEST_F(xAppWindowTest, TaskbarProgressNeedsComOnTheThread)
{
    // COM is ready on this thread, so the taskbar interface exists (Wine has one too).
    ASSERT_TRUE(App->HasTaskbar());
    xNativeWindow* window = Create(Splash());
    ShowWindow(Hwnd(window), SW_SHOWNOACTIVATE);
    App->SetTaskbarProgressState(window, TBPF_NORMAL);
    App->SetTaskbarProgressValue(window, 40, 100);
    // A thread without COM has no taskbar interface, and progress is skipped.
    std::thread(
        [&]
        {
            xAppWindow app(GetModuleHandleW(nullptr));
            EXPECT_FALSE(app.HasTaskbar());
            xNativeWindow* other = app.CreateNativeWindow(Splash());
            app.SetTaskbarProgressState(other, TBPF_NORMAL);
            app.SetTaskbarProgressValue(other, 5, 10);
            EXPECT_EQ(app.NativeWindowCount(), 1u);
        })
        .join();
}

// A 2 x 2 white picture: a 24-bit bitmap file, opaque everywhere.
std::vector<uint8_t> WhitePicture()
{
    BITMAPFILEHEADER file = {};
    BITMAPINFOHEADER info = {};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(info);
    file.bfSize = file.bfOffBits + 2 * 8; // two rows of 6 bytes, each padded to 8
    info.biSize = sizeof(info);
    info.biWidth = info.biHeight = 2;
    info.biPlanes = 1;
    info.biBitCount = 24;
    std::vector<uint8_t> bytes(file.bfSize, 0xFF);
    std::memcpy(bytes.data(), &file, sizeof(file));
    std::memcpy(bytes.data() + sizeof(file), &info, sizeof(info));
    return bytes;
}

// The mean red level of a 20 x 20 block of the screen at (240, 240).
int ScreenLevel()
{
    const HDC screen = GetDC(nullptr);
    long sum = 0;
    for (int row = 0; row < 20; ++row)
        for (int column = 0; column < 20; ++column)
            sum += GetRValue(GetPixel(screen, 240 + column, 240 + row));
    ReleaseDC(nullptr, screen);
    return static_cast<int>(sum / 400);
}

TEST_F(xAppWindowTest, LayeredWindowsGoOnScreenWithTheDescribedOpacity)
{
    const std::shared_ptr<xImage> white = DecodeImage(WhitePicture());
    ASSERT_NE(white, nullptr);
    Listener.PaintWith = [&](xNativeWindow* window)
    { window->Paint([&](xCanvas& canvas) { canvas.DrawImageStretched(*white, 0, 0, 300, 300); }); };
    const int background = ScreenLevel();
    WindowDescription description = Splash();
    description.XDesiredPositionOnScreen = description.YDesiredPositionOnScreen = 100;
    description.WidthDesiredOnScreen = description.HeightDesiredOnScreen = 300;
    description.Opacity = 0.5f;
    xNativeWindow* window = Create(description);
    // As a skin window shows itself, and as its paint then puts it on screen.
    window->MakeLayered();
    window->Show();
    window->Invalidate(false);
    window->Update();
    EXPECT_NEAR(ScreenLevel(), background + (255 - background) / 2, 8) << "background " << background;
}

TEST_F(xAppWindowTest, CentreOnMonitorPutsTheClientAreaInTheWorkArea)
{
    for (const bool bordered : {false, true})
    {
        SCOPED_TRACE(bordered ? "framed" : "skinned");
        WindowDescription description = Splash();
        description.HasOSWindowBorder = bordered;
        const HWND handle = Hwnd(Create(description));
        App->FindNativeWindow(handle)->CentreOnMonitor();
        MONITORINFO monitor = {};
        monitor.cbSize = sizeof(monitor);
        GetMonitorInfoW(MonitorFromWindow(handle, MONITOR_DEFAULTTONEAREST), &monitor);
        const RECT work = monitor.rcWork;
        const xWindowPoint expected =
            CentreInWorkArea({work.left, work.top, work.right, work.bottom}, 591, 304);
        EXPECT_EQ(ClientOrigin(handle), Pair(expected.X, expected.Y));
        EXPECT_EQ(ClientSize(handle), Pair(591, 304)) << "centring keeps the size";
    }
}

TEST_F(xAppWindowTest, BorderedWindowsGetTheDescribedClientAreaAndTheSystemsFrameAndLimits)
{
    WindowDescription description;
    description.HasOSWindowBorder = description.HasMinimize = description.IsRegularWindow = true;
    description.HasSizingFrame = true;
    description.XDesiredPositionOnScreen = 100;
    description.YDesiredPositionOnScreen = 120;
    description.WidthDesiredOnScreen = 500;
    description.HeightDesiredOnScreen = 400;
    const HWND handle = Hwnd(Create(description));
    EXPECT_EQ(ClientSize(handle), Pair(500, 400));
    EXPECT_EQ(ClientOrigin(handle), Pair(100, 120));
    const RECT outer = Outer(handle);
    EXPECT_GT(outer.right - outer.left, 500) << "the system frame surrounds the client area";
    EXPECT_EQ(SendMessageW(handle, WM_NCHITTEST, 0, MAKELPARAM(outer.left + 200, outer.top + 5)), HTCAPTION);
    EXPECT_EQ(Listener.HitTests, 0) << "a bordered window's hit test is the system's";

    // Without a maximum the size is pinned at the listener's minimum.
    for (const bool limits : {true, false})
    {
        Listener.GivesLimits = limits;
        SetWindowPos(handle, nullptr, 0, 0, 900, 700, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
        const RECT sized = Outer(handle);
        EXPECT_EQ(Pair(sized.right - sized.left, sized.bottom - sized.top),
                  limits ? Pair(400, 300) : Pair(900, 700));
    }
}

TEST_F(xAppWindowTest, SkinnedRegularWindowsAskTheListenerForHitTests)
{
    const HWND handle = PlacedSplash();
    EXPECT_EQ(SendMessageW(handle, WM_NCACTIVATE, FALSE, 0), 1);
    EXPECT_EQ(SendMessageW(handle, WM_ERASEBKGND, 0, 0), 1);
    EXPECT_EQ(SendMessageW(handle, WM_NCHITTEST, 0, MAKELPARAM(207, 159)), HTBOTTOMRIGHT);
    EXPECT_EQ(Listener.Hit, Pair(7, 9)) << "relative to the window's top-left corner";
    // A window that takes no input, and one that is no regular window, are all client area.
    Listener.Interactive = false;
    EXPECT_EQ(SendMessageW(handle, WM_NCHITTEST, 0, MAKELPARAM(207, 159)), HTCLIENT);
    Listener.Interactive = true;
    WindowDescription popup = Splash();
    popup.IsRegularWindow = false;
    EXPECT_EQ(SendMessageW(PlacedSplash(popup), WM_NCHITTEST, 0, MAKELPARAM(207, 159)), HTCLIENT);
    EXPECT_EQ(Listener.HitTests, 1);
}

TEST_F(xAppWindowTest, MovesSizesPaintsAndClosesReachTheListener)
{
    xNativeWindow* window = Create(Splash(true));
    const HWND handle = Hwnd(window);
    Listener.Calls.clear();
    SendMessageW(handle, WM_MOVE, 0, MAKELPARAM(-32000, -32000)); // the minimised position is no move
    SendMessageW(handle, WM_MOVE, 0, MAKELPARAM(10, -20));
    SendMessageW(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(900, 700));
    EXPECT_EQ(Pair(window->RegionWidth(), window->RegionHeight()), Pair(900, 700))
        << "a skinned regular window takes its region from the new client size";
    SendMessageW(handle, WM_SIZE, SIZE_MINIMIZED, 0);
    window->SetClientRect(30, 40, 1380, 820);
    ShowWindow(handle, SW_SHOWNOACTIVATE);
    InvalidateRect(handle, nullptr, FALSE);
    UpdateWindow(handle);
    RECT update = {};
    EXPECT_FALSE(GetUpdateRect(handle, &update, FALSE)) << "nothing is left to paint";
    SendMessageW(handle, WM_CLOSE, 0, 0);
    Texts calls;
    for (const std::string& call : Listener.Calls)
        if (call.rfind("activate", 0) != 0 && (calls.empty() || calls.back() != call))
            calls.push_back(call);
    EXPECT_EQ(calls, Texts({"move 10 -20", "size 900 700 0", "size 0 0 1", "move 30 40", "paint", "close"}));
    EXPECT_TRUE(IsWindow(handle)) << "closing is the listener's decision";
}

// One message of each way through the window procedure, and those it handles on its own.
TEST_F(xAppWindowTest, InputMessagesBecomeListenerCalls)
{
    const HWND handle = PlacedSplash();
    const LPARAM client = MAKELPARAM(7, 9), screen = MAKELPARAM(250, 160), altX = 0x202D0001;
    const LRESULT Any = -12345;
    struct Row
    {
        bool Interactive;
        UINT Message;
        WPARAM WParam;
        LPARAM LParam;
        const char* Calls;
        bool PassedOn; // handed to the system too (after the listener)
        LRESULT Result;
    };
    const Row rows[] = {
        {true, WM_XBUTTONDOWN, MAKEWPARAM(0, XBUTTON1), client, "down 3 207 159", false, 0},
        {true, WM_MOUSEWHEEL, MAKEWPARAM(0, -240), MAKELPARAM(300, 400), "wheel -2 300 400", false, 0},
        {true, WM_KEYUP, 'A', LPARAM(0xC01E0001), "keyup 65 65 0", false, 0},
        // Alt+letter does not beep; Alt+Space and Alt+F4 are the system's (F4 closes through it).
        {true, WM_SYSCHAR, 'x', altX, "", false, 0},
        {true, WM_SYSCHAR, ' ', 0x20390001, "", true, Any},
        {true, WM_SYSKEYDOWN, VK_F4, 0x203E0001, "close", true, Any},
        // A click on the caption activates: the next activation counts as a click, once.
        {true, WM_MOUSEACTIVATE, 0, MAKELPARAM(HTCAPTION, WM_LBUTTONDOWN), "", true, Any},
        {true, WM_ACTIVATE, WA_ACTIVE, 0, "activate 1", true, Any},
        {true, WM_ACTIVATE, WA_ACTIVE, 0, "activate 0", true, Any},
        {true, WM_HOTKEY, 7, 0x00410002, "hotkey 7 4259842", false, 1},
        {true, WM_SETTINGCHANGE, 0, LPARAM(L"ConvertibleSlateMode"), "slate", true, Any},
        // The system's own composition windows stay hidden, its keyboard layout unchanged.
        {true, WM_IME_SETCONTEXT, TRUE, LPARAM(ISC_SHOWUIALL), "", false, 0},
        {true, WM_INPUTLANGCHANGEREQUEST, 0, 0x04090409, "", false, 0},
        // The buttons' presses are the listener's to allow (here it refuses).
        {true, WM_NCRBUTTONDOWN, HTCLOSE, screen, "button 1", false, 1},
        {true, WM_SYSCOMMAND, SC_MAXIMIZE, 0, "button 2", false, 1},
        // A window that takes no input drops keys and mouse, nothing else.
        {false, WM_LBUTTONDOWN, 0, client, "", false, 0},
        {false, WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), "cursor", true, Any},
    };
    for (const Row& row : rows)
    {
        SCOPED_TRACE("row " + std::to_string(&row - rows));
        Listener.Interactive = row.Interactive;
        Listener.Calls.clear();
        Listener.Unhandled.clear();
        const LRESULT result = SendMessageW(handle, row.Message, row.WParam, row.LParam);
        // What the system posts in answer (Alt+F4's close) arrives too.
        MSG message;
        while (PeekMessageW(&message, handle, 0, 0, PM_REMOVE))
            DispatchMessageW(&message);
        std::string calls;
        for (const std::string& call : Listener.Calls)
            calls += (calls.empty() ? "" : "; ") + call;
        EXPECT_EQ(calls, row.Calls);
        const auto& unhandled = Listener.Unhandled;
        EXPECT_EQ(std::find(unhandled.begin(), unhandled.end(), row.Message) != unhandled.end(),
                  row.PassedOn);
        EXPECT_EQ(row.Result == Any ? Any : result, row.Result);
    }
    EXPECT_FALSE(IsZoomed(handle)) << "the listener refused to maximise";
}

TEST_F(xAppWindowTest, RecordsMakeUpAMissingShiftReleaseCarryRawMovesAndWaitInTheQueue)
{
    xNativeWindow* window = Create(Splash());
    const auto dispatch = [&](UINT message, WPARAM key, LPARAM data) {
        App->DispatchInput({window, window->Handle(), message, key, data});
    };
    const auto keyboard = [](std::initializer_list<int> down)
    {
        BYTE state[256] = {};
        for (const int key : down)
            state[key] = 0x81;
        SetKeyboardState(state);
    };
    const auto held = [&]
    {
        const xModifierState& keys = App->ModifierKeys();
        return std::pair{keys.IsDown(ModifierKey::LeftShift), keys.IsDown(ModifierKey::RightShift)};
    };
    dispatch(WM_KEYDOWN, VK_SHIFT, 0x002A0001);
    dispatch(WM_KEYDOWN, VK_SHIFT, 0x00360001);
    // Left released while right is held: the system sends no key-up for it.
    keyboard({VK_SHIFT, VK_RSHIFT});
    Listener.Calls.clear();
    App->ProcessInput();
    App->ProcessInput();
    EXPECT_EQ(Listener.Calls, Texts({"keyup 160 0 0"}));
    EXPECT_EQ(held(), std::pair(false, true));
    dispatch(WM_KEYUP, VK_SHIFT, LPARAM(0xC0360001));

    // Caps lock is a toggle, read from the keyboard.
    keyboard({VK_CAPITAL});
    dispatch(WM_KEYDOWN, VK_CAPITAL, 0x003A0001);
    App->PollModifierKeys();
    EXPECT_TRUE(App->ModifierKeys().IsDown(ModifierKey::CapsLock));
    keyboard({});

    // Raw mouse input: a step, or a position (which only says the mouse moved).
    Listener.Calls.clear();
    App->QueueInput({window, window->Handle(), WM_CHAR, 'q', 0});
    App->DispatchInput({window, window->Handle(), WM_INPUT, 0, 0, 5, -3, false});
    App->DispatchInput({window, window->Handle(), WM_INPUT, 0, 0, 0, 0, true});
    App->ProcessInput();
    EXPECT_EQ(Listener.Calls, Texts({"raw 5 -3", "mousemove", "char 113 0"}));
}

TEST_F(xAppWindowTest, OwnerHidingKeepsThePlaceAndCompositionChangesDropTheCompositedStyle)
{
    const HWND handle = PlacedSplash();
    SendMessageW(handle, WM_SHOWWINDOW, FALSE, SW_PARENTCLOSING);
    SetWindowPos(handle, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(handle, WM_SHOWWINDOW, TRUE, SW_PARENTOPENING);
    EXPECT_EQ(ClientOrigin(handle), Pair(200, 150));

    WindowDescription description = Splash();
    description.Transparency = 2;
    const HWND composited = Hwnd(Create(description));
    SetWindowLongPtrW(composited, GWL_EXSTYLE, GetWindowLongPtrW(composited, GWL_EXSTYLE) | WS_EX_COMPOSITED);
    SendMessageW(composited, WM_DWMCOMPOSITIONCHANGED, 0, 0);
    EXPECT_EQ(GetWindowLongPtrW(composited, GWL_EXSTYLE) & WS_EX_COMPOSITED, 0);
}

TEST_F(xAppWindowTest, DestroyedWindowsLeaveTheListAndTheEndDestroysTheRestAndTheClass)
{
    const HWND first = Hwnd(Create(Splash()));
    const HWND second = Hwnd(Create(Splash(true)));
    EXPECT_TRUE(DestroyWindow(first));
    EXPECT_EQ(App->NativeWindowCount(), 1u);
    EXPECT_EQ(App->FindNativeWindow(first), nullptr);
    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"WispWindow", &windowClass));
    const HBRUSH brush = windowClass.hbrBackground;
    App.reset();
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), L"WispWindow", &windowClass));
    EXPECT_EQ(GetObjectType(brush), DWORD(0)) << "the class's brush is deleted with it";
}

// Start-up quiets the sticky, toggle and filter keys' hot keys; the end puts the settings back.
TEST(xAppWindow, ShortcutHotKeysAreQuietWhileTheWindowsLive)
{
    STICKYKEYS sticky = {sizeof(STICKYKEYS), 0};
    const auto flags = [&]
    {
        SystemParametersInfoW(SPI_GETSTICKYKEYS, sizeof(sticky), &sticky, 0);
        return sticky.dwFlags;
    };
    const DWORD original = flags();
    // Sticky keys off with their hot key: where the system lets it be written (Wine keeps 0), it goes quiet.
    sticky.dwFlags = 0x4 | 0x8 | 0x2;
    SystemParametersInfoW(SPI_SETSTICKYKEYS, sizeof(sticky), &sticky, 0);
    const DWORD before = flags();
    {
        xAppWindow app(GetModuleHandleW(nullptr));
        EXPECT_EQ(app.ShortcutKeys().StickyKeys, before);
        EXPECT_EQ(flags(), QuietShortcutFlags(before));
    }
    EXPECT_EQ(flags(), before) << "a window's end leaves the settings as it found them";
    sticky.dwFlags = original;
    SystemParametersInfoW(SPI_SETSTICKYKEYS, sizeof(sticky), &sticky, 0);
}
