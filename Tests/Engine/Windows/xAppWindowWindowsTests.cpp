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
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace
{
using Pair = std::pair<long, long>;

// The three skin documents' windows, as the skin loader describes them (what the window code reads).
struct ShippedWindow
{
    const char* Name;
    int32_t Width, Height, CornerRadius, Transparency;
    bool Topmost, SizingFrame;
};

const ShippedWindow ShippedWindows[] = {
    {"SplashScreen", 591, 304, 5, 1, true, false},
    {"MainFrame", 1280, 829, 5, 1, false, false},
    {"GameWindow", 1380, 820, 0, 0, false, true},
};

WindowDescription Describe(const ShippedWindow& shipped)
{
    WindowDescription d;
    d.XDesiredPositionOnScreen = d.YDesiredPositionOnScreen = -1;
    d.WidthDesiredOnScreen = shipped.Width;
    d.HeightDesiredOnScreen = shipped.Height;
    d.CornerRadius = shipped.CornerRadius;
    d.Transparency = shipped.Transparency;
    d.IsInTaskbar = d.ActivateWhenFirstShown = d.FocusWhenFirstShown = d.IsRegularWindow = true;
    d.IsTopmostWindow = shipped.Topmost;
    d.HasSizingFrame = shipped.SizingFrame;
    d.Title = xWString(u"\u971C\u77F3\u7EAA\u5143");
    return d;
}

WindowDescription Splash()
{
    return Describe(ShippedWindows[0]);
}

// A window with the system's frame at (100,120), client 400x300 unless told.
WindowDescription Framed(bool regular, bool sizing, int32_t width = 400, int32_t height = 300)
{
    WindowDescription d;
    d.HasOSWindowBorder = d.HasMinimize = true;
    d.IsRegularWindow = regular;
    d.HasSizingFrame = sizing;
    d.XDesiredPositionOnScreen = 100;
    d.YDesiredPositionOnScreen = 120;
    d.WidthDesiredOnScreen = width;
    d.HeightDesiredOnScreen = height;
    d.Title = xWString(u"Bordered");
    return d;
}

HWND Hwnd(const xNativeWindow* window)
{
    return static_cast<HWND>(window->Handle());
}

// What the window procedure told the listener, as text ("call arguments"), and what the listener answers.
// Input calls go to Calls, the window's own changes (move, size, paint) to Events.
class RecordingListener : public xAppWindowListener
{
public:
    bool IsWindowInteractive(xNativeWindow*) override { return Interactive; }
    WindowZone HitTest(xNativeWindow*, int32_t x, int32_t y) override
    {
        Hit = {x, y};
        ++HitTests;
        return Zone;
    }
    bool GetSizeLimits(xNativeWindow*, xWindowSizeLimits& limits) override
    {
        limits = Limits;
        return GivesLimits;
    }
    void OnResized(xNativeWindow*, int32_t width, int32_t height, bool minimised) override
    {
        Note(Events, "size", width, height, minimised);
    }
    void OnMoved(xNativeWindow*, int32_t x, int32_t y) override { Note(Events, "move", x, y); }
    void OnPaint(xNativeWindow* window) override
    {
        Note(Events, "paint");
        if (PaintWith)
            PaintWith(window);
    }
    void OnClose(xNativeWindow*) override { Note(Calls, "close"); }
    void OnHotKey(xNativeWindow*, int32_t id, intptr_t data) override { Note(Calls, "hotkey", id, data); }
    void OnChar(uint32_t c, bool repeat) override { Note(Calls, "char", c, repeat); }
    void OnKeyDown(uint32_t key, uint32_t c, bool repeat) override { Note(Calls, "keydown", key, c, repeat); }
    void OnKeyUp(uint32_t key, uint32_t c, bool repeat) override { Note(Calls, "keyup", key, c, repeat); }
    void OnMouseDown(xNativeWindow*, MouseButton b, float x, float y) override
    {
        Note(Calls, "down", int(b), x, y);
    }
    void OnMouseDoubleClick(xNativeWindow*, MouseButton b, float x, float y) override
    {
        Note(Calls, "double", int(b), x, y);
    }
    bool OnMouseWheel(float steps, float x, float y) override { return Note(Calls, "wheel", steps, x, y); }
    bool OnMouseMove(xNativeWindow*) override { return Note(Calls, "move"); }
    void OnRawMouseMove(int32_t dx, int32_t dy) override { Note(Calls, "raw", dx, dy); }
    bool OnSetCursor() override { return Note(Calls, "cursor"); }
    bool OnActivate(xNativeWindow*, ActivationKind kind) override
    {
        return Note(Calls, "activate", int(kind));
    }
    void OnAppActivate(bool active) override { Note(Calls, "app", active); }
    void OnSlateModeChanged() override { Note(Calls, "slate"); }
    bool OnWindowButton(xNativeWindow*, WindowButtonAction action) override
    {
        return Note(Calls, "button", int(action)) && AllowButtons;
    }
    void OnUnhandledMessage(xNativeWindow*, uint32_t message, uintptr_t, intptr_t) override
    {
        Unhandled.push_back(message);
    }

    template <typename... Values>
    bool Note(std::vector<std::string>& into, const char* name, Values... values)
    {
        std::ostringstream text;
        text << name;
        ((text << ' ' << values), ...);
        into.push_back(text.str());
        return true;
    }

    bool Interactive = true;
    WindowZone Zone = WindowZone::Client;
    bool GivesLimits = false;
    xWindowSizeLimits Limits;
    Pair Hit;
    int HitTests = 0;
    // What a paint draws, when set.
    std::function<void(xNativeWindow*)> PaintWith;
    bool AllowButtons = true;
    std::vector<std::string> Calls, Events;
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

    // Where the system put a window: client size and origin on screen, outer size and rectangle.
    struct Geometry
    {
        Pair ClientSize, ClientOrigin, OuterSize;
        RECT Outer;
    };
    static Geometry GeometryOf(HWND handle)
    {
        RECT client = {}, outer = {};
        GetClientRect(handle, &client);
        GetWindowRect(handle, &outer);
        POINT origin = {0, 0};
        ClientToScreen(handle, &origin);
        return {{client.right, client.bottom},
                {origin.x, origin.y},
                {outer.right - outer.left, outer.bottom - outer.top},
                outer};
    }
    // The region's type, bounding box (left, top, right, bottom) and whether it holds the corner pixel.
    static std::tuple<int, std::vector<long>, bool> WindowRegion(HWND handle)
    {
        HRGN region = CreateRectRgn(0, 0, 0, 0);
        const int type = GetWindowRgn(handle, region);
        RECT box = {};
        GetRgnBox(region, &box);
        const bool corner = PtInRegion(region, 0, 0) != FALSE;
        DeleteObject(region);
        return {type, {box.left, box.top, box.right, box.bottom}, corner};
    }

    bool ComReady = false;
    RecordingListener Listener;
    std::unique_ptr<xAppWindow> App;
};

// The system keeps WS_EX_WINDOWEDGE only on windows with a dialog or sizing frame.
constexpr uint32_t SystemManagedExStyles = WS_EX_WINDOWEDGE;
} // namespace

TEST_F(xAppWindowTest, ShippedWindowsGetTheirStylesClientSizeAndRegion)
{
    for (const ShippedWindow& shipped : ShippedWindows)
    {
        SCOPED_TRACE(shipped.Name);
        const WindowDescription description = Describe(shipped);
        xNativeWindow* window = Create(description);
        const HWND handle = Hwnd(window);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(App->FindNativeWindow(handle), window);

        const xWindowStyles styles = ChooseWindowStyles(description);
        EXPECT_EQ(static_cast<uint32_t>(GetWindowLongPtrW(handle, GWL_STYLE)), styles.Style);
        EXPECT_EQ(static_cast<uint32_t>(GetWindowLongPtrW(handle, GWL_EXSTYLE)) & ~SystemManagedExStyles,
                  styles.ExStyle & ~SystemManagedExStyles);

        wchar_t text[32] = {};
        GetClassNameW(handle, text, 32);
        EXPECT_EQ(std::wstring(text), L"WispWindow");
        GetWindowTextW(handle, text, 32);
        EXPECT_EQ(std::wstring(text), std::wstring(L"\u971C\u77F3\u7EAA\u5143"));

        const Pair size = {shipped.Width, shipped.Height};
        const Geometry geometry = GeometryOf(handle);
        EXPECT_EQ(geometry.ClientSize, size);
        EXPECT_EQ(geometry.OuterSize, size) << "a skinned window has no frame";
        EXPECT_EQ(geometry.ClientOrigin, Pair(-1, -1));
        EXPECT_EQ(Pair(window->RegionWidth(), window->RegionHeight()), size);

        // A round rectangle leaves out its last row and column, so the region
        // made one pixel larger covers exactly the window.
        const bool round = shipped.CornerRadius > 0;
        EXPECT_EQ(WindowRegion(handle),
                  std::make_tuple(round ? COMPLEXREGION : SIMPLEREGION,
                                  std::vector<long>{0, 0, shipped.Width, shipped.Height}, !round))
            << "a round region cuts the corner off";
        EXPECT_FALSE(IsWindowVisible(handle)) << "windows are created hidden";
    }
    EXPECT_EQ(App->NativeWindowCount(), 3u);
}

TEST_F(xAppWindowTest, WindowsOutOfTheTaskbarAreToolWindowsAndProgressIsShown)
{
    // COM is ready on this thread, so the taskbar interface exists (Wine has one too).
    ASSERT_TRUE(App->HasTaskbar());
    WindowDescription description = Splash();
    description.IsInTaskbar = false;
    xNativeWindow* window = Create(description);
    EXPECT_EQ(GetWindowLongPtrW(Hwnd(window), GWL_EXSTYLE) & (WS_EX_TOOLWINDOW | WS_EX_APPWINDOW),
              WS_EX_TOOLWINDOW);
    ShowWindow(Hwnd(window), SW_SHOWNOACTIVATE);
    App->SetTaskbarProgressState(window, TBPF_NORMAL);
    App->SetTaskbarProgressValue(window, 40, 100);
    App->SetTaskbarProgressState(window, TBPF_NOPROGRESS);
    EXPECT_TRUE(IsWindow(Hwnd(window)));
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

// The opacity's alpha is LayeredConstantAlpha's (its table); here only that it reaches the screen.
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
    description.IsTopmostWindow = true;
    description.Opacity = 0.5f;
    xNativeWindow* window = Create(description);
    // As a skin window shows itself, and as its paint then puts it on screen.
    window->MakeLayered();
    window->Show();
    window->Invalidate(false);
    window->Update();
    EXPECT_NEAR(ScreenLevel(), background + (255 - background) / 2, 8) << "background " << background;
}

// Where the centre lies is CentreInWorkArea's (its table); here that the client area is put there.
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
        const Geometry geometry = GeometryOf(handle);
        EXPECT_EQ(geometry.ClientOrigin, Pair(expected.X, expected.Y));
        EXPECT_EQ(geometry.ClientSize, Pair(591, 304)) << "centring keeps the size";
    }
}

TEST_F(xAppWindowTest, BorderedWindowsGetTheDescribedClientAreaAtTheDescribedPlace)
{
    for (const auto& [regular, sizing] :
         {std::pair{true, false}, std::pair{true, true}, std::pair{false, false}})
    {
        SCOPED_TRACE(std::to_string(regular) + std::to_string(sizing));
        const WindowDescription description = Framed(regular, sizing);
        const HWND handle = Hwnd(Create(description));

        EXPECT_EQ(static_cast<uint32_t>(GetWindowLongPtrW(handle, GWL_STYLE)) & ~uint32_t(WS_CLIPSIBLINGS),
                  ChooseWindowStyles(description).Style);
        const Geometry geometry = GeometryOf(handle);
        EXPECT_EQ(geometry.ClientSize, Pair(400, 300));
        EXPECT_EQ(geometry.ClientOrigin, Pair(100, 120));
        const RECT outer = geometry.Outer;
        EXPECT_GT(outer.right - outer.left, 400) << "the system frame surrounds the client area";
        EXPECT_EQ(Listener.HitTests, 0) << "a bordered window's hit test is the system's";
        EXPECT_EQ(SendMessageW(handle, WM_NCHITTEST, 0, MAKELPARAM(outer.left + 200, outer.top + 5)),
                  HTCAPTION);
    }
}

// Zones become codes by WindowZoneHitCode (its table); here that the listener is asked, and when.
TEST_F(xAppWindowTest, SkinnedWindowsHaveNoFrameAndAskTheListenerForHitTests)
{
    const HWND handle = Hwnd(Create(Splash()));
    SetWindowPos(handle, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    // No frame: the client area is the whole window.
    NCCALCSIZE_PARAMS params = {};
    params.rgrc[0] = {10, 20, 601, 324};
    EXPECT_EQ(SendMessageW(handle, WM_NCCALCSIZE, TRUE, reinterpret_cast<LPARAM>(&params)), 0);
    const RECT& r = params.rgrc[0];
    EXPECT_EQ((std::vector<long>{r.left, r.top, r.right, r.bottom}), (std::vector<long>{10, 20, 601, 324}));
    EXPECT_EQ(SendMessageW(handle, WM_NCACTIVATE, FALSE, 0), 1);
    EXPECT_EQ(SendMessageW(handle, WM_ERASEBKGND, 0, 0), 1);

    Listener.Zone = WindowZone::BottomRight;
    EXPECT_EQ(SendMessageW(handle, WM_NCHITTEST, 0, MAKELPARAM(207, 159)), HTBOTTOMRIGHT);
    EXPECT_EQ(Listener.Hit, Pair(7, 9)) << "relative to the window's top-left corner";

    // A window that takes no input is all client area and the listener is not asked.
    Listener.Interactive = false;
    EXPECT_EQ(SendMessageW(handle, WM_NCHITTEST, 0, MAKELPARAM(207, 159)), HTCLIENT);
    EXPECT_EQ(Listener.HitTests, 1);

    // Only regular windows delegate their hit test.
    Listener.Interactive = true;
    WindowDescription popup = Splash();
    popup.IsRegularWindow = false;
    const HWND popupHandle = Hwnd(Create(popup));
    SetWindowPos(popupHandle, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(SendMessageW(popupHandle, WM_NCHITTEST, 0, MAKELPARAM(207, 159)), HTCLIENT);
    EXPECT_EQ(Listener.HitTests, 1);
}

// What the limits make of the system's record is ApplySizeLimits' (its table); here that the system obeys.
TEST_F(xAppWindowTest, SizeLimitsComeFromTheListener)
{
    const HWND framed = Hwnd(Create(Framed(true, true, 500, 400)));
    Listener.GivesLimits = true;
    Listener.Limits = {400, 300, -1, -1};
    SetWindowPos(framed, nullptr, 0, 0, 900, 700, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(GeometryOf(framed).OuterSize, Pair(400, 300))
        << "without a maximum it is pinned at its minimum";

    Listener.GivesLimits = false;
    SetWindowPos(framed, nullptr, 0, 0, 900, 700, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    EXPECT_EQ(GeometryOf(framed).OuterSize, Pair(900, 700)) << "no limits: the size is the system's";
}

TEST_F(xAppWindowTest, MovesSizesPaintsAndClosesReachTheListener)
{
    xNativeWindow* window = Create(Describe(ShippedWindows[2]));
    const HWND handle = Hwnd(window);
    Listener.Events.clear();
    SendMessageW(handle, WM_MOVE, 0, MAKELPARAM(-32000, -32000)); // the minimised position is no move
    SendMessageW(handle, WM_MOVE, 0, MAKELPARAM(10, -20));
    SendMessageW(handle, WM_SIZE, SIZE_RESTORED, MAKELPARAM(900, 700));
    // A skinned regular window takes its region from the new client size.
    EXPECT_EQ(Pair(window->RegionWidth(), window->RegionHeight()), Pair(900, 700));
    const std::vector<long> box = std::get<1>(WindowRegion(handle));
    EXPECT_EQ(Pair(box[2], box[3]), Pair(900, 700));
    SendMessageW(handle, WM_SIZE, SIZE_MINIMIZED, 0);
    EXPECT_EQ(Listener.Events, std::vector<std::string>({"move 10 -20", "size 900 700 0", "size 0 0 1"}));

    // A real move through the system, and a real paint.
    window->SetClientRect(30, 40, 1380, 820);
    ASSERT_FALSE(Listener.Events.empty());
    EXPECT_EQ(Listener.Events.back(), "move 30 40");
    ShowWindow(handle, SW_SHOWNOACTIVATE);
    InvalidateRect(handle, nullptr, FALSE);
    UpdateWindow(handle);
    EXPECT_EQ(Listener.Events.back(), "paint");
    RECT update = {};
    EXPECT_FALSE(GetUpdateRect(handle, &update, FALSE)) << "nothing is left to paint";

    Listener.Calls.clear(); // showing it activated it
    SendMessageW(handle, WM_CLOSE, 0, 0);
    EXPECT_EQ(Listener.Calls, std::vector<std::string>({"close"}));
    EXPECT_TRUE(IsWindow(handle)) << "closing is the listener's decision";
}

// Routing, gating and mouse classification are xInputRules' (its tables); here one message of each
// way through the window procedure, and those it handles on its own.
TEST_F(xAppWindowTest, InputMessagesBecomeListenerCalls)
{
    const HWND handle = Hwnd(Create(Splash()));
    // No frame: the client area starts at the window's corner, (200, 150) on screen.
    SetWindowPos(handle, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    Listener.AllowButtons = false;
    const LPARAM client = MAKELPARAM(7, 9), screen = MAKELPARAM(250, 160);
    const LPARAM altX = 0x202D0001, altSpace = 0x20390001;
    const LRESULT Any = -12345;
    struct Row
    {
        bool Interactive;
        UINT Message;
        WPARAM WParam;
        LPARAM LParam;
        const char* Calls;
        // Handed to the system too (after the listener).
        bool PassedOn;
        LRESULT Result;
    };
    const Row rows[] = {
        {true, WM_XBUTTONDOWN, MAKEWPARAM(0, XBUTTON1), client, "down 3 207 159", false, 0},
        {true, WM_MOUSEWHEEL, MAKEWPARAM(0, -240), MAKELPARAM(300, 400), "wheel -2 300 400", false, 0},
        {true, WM_NCLBUTTONDBLCLK, HTCAPTION, screen, "double 0 250 160", false, 0},
        {true, WM_KEYUP, 'A', LPARAM(0xC01E0001), "keyup 65 65 0", false, 0},
        {true, WM_CHAR, 'x', 0x002D0001, "char 120 0", false, 0},
        {true, WM_SYSKEYDOWN, 'X', altX, "keydown 88 88 0", true, Any},
        // Alt+letter does not beep; Alt+Space and Alt+F4 are the system's (F4 closes through it).
        {true, WM_SYSCHAR, 'x', altX, "", false, 0},
        {true, WM_SYSCHAR, ' ', altSpace, "", true, Any},
        {true, WM_SYSKEYDOWN, VK_F4, 0x203E0001, "close", true, Any},
        // A click on the caption activates: the next activation counts as a click, once.
        {true, WM_MOUSEACTIVATE, 0, MAKELPARAM(HTCAPTION, WM_LBUTTONDOWN), "", true, Any},
        {true, WM_ACTIVATE, WA_ACTIVE, 0, "activate 1", true, Any},
        {true, WM_ACTIVATE, WA_ACTIVE, 0, "activate 0", true, Any},
        {true, WM_ACTIVATEAPP, TRUE, 0, "app 1", true, Any},
        {true, WM_HOTKEY, 7, 0x00410002, "hotkey 7 4259842", false, 1},
        {true, WM_SETTINGCHANGE, 0, LPARAM(L"ConvertibleSlateMode"), "slate", true, Any},
        {true, WM_SETTINGCHANGE, 0, LPARAM(L"intl"), "", true, Any},
        // The system's own composition windows stay hidden, its keyboard layout unchanged.
        {true, WM_IME_SETCONTEXT, TRUE, LPARAM(ISC_SHOWUIALL), "", false, 0},
        {true, WM_INPUTLANGCHANGEREQUEST, 0, 0x04090409, "", false, 0},
        // Caption presses are told; the buttons' are the listener's to allow (here it refuses).
        {true, WM_NCMBUTTONDOWN, HTCAPTION, screen, "button 1", true, Any},
        {true, WM_NCRBUTTONDOWN, HTCLOSE, screen, "button 1", false, 1},
        {true, WM_SYSCOMMAND, SC_MAXIMIZE, 0, "button 2", false, 1},
        // A window that takes no input drops keys and mouse, nothing else.
        {false, WM_LBUTTONDOWN, 0, client, "", false, 0},
        {false, WM_SETCURSOR, 0, MAKELPARAM(HTCLIENT, WM_MOUSEMOVE), "cursor", true, Any},
        {false, WM_CLOSE, 0, 0, "close", false, 0},
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

TEST_F(xAppWindowTest, MessageHooksAreAskedInTurnForWhatTheWindowDoesNotHandle)
{
    struct Hook : xMessageHook
    {
        Hook(UINT claims, intptr_t answer) : Claims(claims), Answer(answer) {}
        bool Handle(void*, uint32_t message, uintptr_t, intptr_t, intptr_t& result) override
        {
            Seen.push_back(message);
            result = Answer;
            return message == Claims;
        }
        UINT Claims;
        intptr_t Answer;
        std::vector<uint32_t> Seen;
    };
    const HWND handle = Hwnd(Create(Splash()));
    Hook first(WM_USER + 2, 7), second(WM_USER + 1, 42);
    App->AddMessageHook(&first);
    App->AddMessageHook(&second);
    Listener.Unhandled.clear();
    EXPECT_EQ(SendMessageW(handle, WM_USER + 1, 0, 0), 42);
    EXPECT_EQ(SendMessageW(handle, WM_USER + 2, 0, 0), 7);
    EXPECT_EQ(second.Seen, std::vector<uint32_t>({WM_USER + 1})) << "the first hook's claim ends the round";
    EXPECT_TRUE(Listener.Unhandled.empty());
    SendMessageW(handle, WM_KEYDOWN, 'A', 0);
    EXPECT_EQ(first.Seen.size(), 2u) << "input is the window's own";

    App->RemoveMessageHook(&second);
    EXPECT_EQ(SendMessageW(handle, WM_USER + 1, 0, 0), 0) << "unclaimed: the system's answer";
    EXPECT_EQ(Listener.Unhandled, std::vector<uint32_t>({WM_USER + 1}));
    App->RemoveMessageHook(&first);
}

TEST_F(xAppWindowTest, RecordsTellShiftKeysApartMakeUpTheirMissingReleaseCarryRawMovesAndWaitInTheQueue)
{
    xNativeWindow* window = Create(Splash());
    const auto shift = [&](UINT message, LPARAM data) {
        App->DispatchInput({window, window->Handle(), message, VK_SHIFT, data});
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

    shift(WM_KEYDOWN, 0x002A0001);
    shift(WM_KEYDOWN, 0x00360001);
    EXPECT_EQ(held(), std::pair(true, true));
    // Left released while right is held: the system sends no key-up for it.
    keyboard({VK_SHIFT, VK_RSHIFT});
    Listener.Calls.clear();
    App->ProcessInput();
    App->ProcessInput();
    EXPECT_EQ(Listener.Calls, std::vector<std::string>({"keyup 160 0 0"}));
    EXPECT_EQ(held(), std::pair(false, true));
    shift(WM_KEYUP, LPARAM(0xC0360001));
    EXPECT_EQ(held(), std::pair(false, false));

    // Caps lock is a toggle, read from the keyboard, here and in the frame's snapshot.
    keyboard({VK_CAPITAL});
    App->DispatchInput({window, window->Handle(), WM_KEYDOWN, VK_CAPITAL, 0x003A0001});
    App->PollModifierKeys();
    EXPECT_TRUE(App->ModifierKeys().IsDown(ModifierKey::CapsLock));
    EXPECT_TRUE(App->ModifierSnapshot().IsDown(ModifierKey::CapsLock));
    keyboard({});

    // Raw mouse input: a step, or a position (which only says the mouse moved). A
    // queued record waits for the frame.
    Listener.Calls.clear();
    App->QueueInput({window, window->Handle(), WM_CHAR, 'q', 0});
    App->DispatchInput({window, window->Handle(), WM_INPUT, 0, 0, 5, -3, false});
    App->DispatchInput({window, window->Handle(), WM_INPUT, 0, 0, 0, 0, true});
    App->ProcessInput();
    EXPECT_EQ(Listener.Calls, std::vector<std::string>({"raw 5 -3", "move", "char 113 0"}));
}

TEST_F(xAppWindowTest, OwnerHidingKeepsThePlaceAndCompositionChangesDropTheCompositedStyle)
{
    const HWND handle = Hwnd(Create(Splash()));
    SetWindowPos(handle, nullptr, 200, 150, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(handle, WM_SHOWWINDOW, FALSE, SW_PARENTCLOSING);
    SetWindowPos(handle, nullptr, 10, 20, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    SendMessageW(handle, WM_SHOWWINDOW, TRUE, SW_PARENTOPENING);
    EXPECT_EQ(GeometryOf(handle).ClientOrigin, Pair(200, 150));

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
    const HWND second = Hwnd(Create(Describe(ShippedWindows[1])));
    const HWND third = Hwnd(Create(Describe(ShippedWindows[2])));
    EXPECT_TRUE(DestroyWindow(first));
    EXPECT_EQ(App->NativeWindowCount(), 2u);
    EXPECT_EQ(App->FindNativeWindow(first), nullptr);
    EXPECT_NE(App->FindNativeWindow(second), nullptr);
    EXPECT_FALSE(IsWindow(first));

    WNDCLASSEXW windowClass = {};
    windowClass.cbSize = sizeof(windowClass);
    ASSERT_TRUE(GetClassInfoExW(GetModuleHandleW(nullptr), L"WispWindow", &windowClass));
    EXPECT_EQ(windowClass.style, UINT(CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS));
    EXPECT_EQ(windowClass.hCursor, LoadCursorW(nullptr, IDC_ARROW));
    const HBRUSH brush = windowClass.hbrBackground;
    EXPECT_EQ(GetObjectType(brush), DWORD(OBJ_BRUSH));

    App.reset();
    EXPECT_FALSE(IsWindow(second));
    EXPECT_FALSE(IsWindow(third));
    EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), L"WispWindow", &windowClass));
    EXPECT_EQ(GetObjectType(brush), DWORD(0)) << "the class's brush is deleted with it";
}

TEST(xAppWindow, WithoutComThereIsNoTaskbarAndProgressIsSkipped)
{
    // This thread has not initialised COM here, so the taskbar interface cannot be made.
    xAppWindow app(GetModuleHandleW(nullptr));
    EXPECT_FALSE(app.HasTaskbar());
    xNativeWindow* window = app.CreateNativeWindow(Splash());
    ASSERT_NE(window->Handle(), nullptr);
    app.SetTaskbarProgressState(window, 2);
    app.SetTaskbarProgressValue(window, 5, 10);
    EXPECT_EQ(app.NativeWindowCount(), 1u);
}

namespace
{
// The sticky, toggle and filter keys' settings as the system keeps them; Set writes them back.
struct ShortcutSettings
{
    STICKYKEYS Sticky = {sizeof(STICKYKEYS), 0};
    TOGGLEKEYS Toggle = {sizeof(TOGGLEKEYS), 0};
    FILTERKEYS Filter = {sizeof(FILTERKEYS), 0, 0, 0, 0, 0};
    ShortcutSettings()
    {
        SystemParametersInfoW(SPI_GETSTICKYKEYS, sizeof(Sticky), &Sticky, 0);
        SystemParametersInfoW(SPI_GETTOGGLEKEYS, sizeof(Toggle), &Toggle, 0);
        SystemParametersInfoW(SPI_GETFILTERKEYS, sizeof(Filter), &Filter, 0);
    }
    void Set()
    {
        SystemParametersInfoW(SPI_SETSTICKYKEYS, sizeof(Sticky), &Sticky, 0);
        SystemParametersInfoW(SPI_SETTOGGLEKEYS, sizeof(Toggle), &Toggle, 0);
        SystemParametersInfoW(SPI_SETFILTERKEYS, sizeof(Filter), &Filter, 0);
    }
    std::vector<DWORD> Flags() const { return {Sticky.dwFlags, Toggle.dwFlags, Filter.dwFlags}; }
};
} // namespace

// Which flags go quiet is QuietShortcutFlags' (its table); here that start-up applies it and the end undoes
// it.
TEST(xAppWindow, ShortcutHotKeysAreSwitchedOffUnlessTheFeatureIsOnAndBackAfterwards)
{
    ShortcutSettings original;
    // Sticky keys off with their hot key, toggle keys on: where the system lets the
    // settings be written (Wine keeps them at 0 and refuses), the first goes quiet.
    ShortcutSettings test = original;
    test.Sticky.dwFlags = 0x4 | 0x8 | 0x2;
    test.Toggle.dwFlags = 0x1 | 0x4 | 0x8;
    test.Set();
    const std::vector<DWORD> before = ShortcutSettings().Flags();
    {
        xAppWindow app(GetModuleHandleW(nullptr));
        const xShortcutKeyState& kept = app.ShortcutKeys();
        EXPECT_EQ((std::vector<DWORD>{kept.StickyKeys, kept.ToggleKeys, kept.FilterKeys}), before);
        std::vector<DWORD> quiet;
        for (const DWORD flags : before)
            quiet.push_back(QuietShortcutFlags(flags));
        EXPECT_EQ(ShortcutSettings().Flags(), quiet);
    }
    EXPECT_EQ(ShortcutSettings().Flags(), before) << "a window's end leaves the settings as it found them";
    original.Set();
}
