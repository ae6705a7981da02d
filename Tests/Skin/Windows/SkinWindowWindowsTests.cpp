#include "EngineText.h"
#include "PackageProgress.h"
#include "ResPack.h"
#include "SkinEventRouter.h"
#include "SkinWindowRegistry.h"
#include "SplashScreen.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <utility>
#include <string>
#include <vector>

#include <windows.h>

#include <psapi.h>

// Skinned windows made from the shipped documents, queried through Win32.
namespace
{
class SkinWindowWindows : public testing::Test
{
protected:
    void SetUp() override
    {
        TheResPack().Load();
        App = std::make_unique<xAppWindow>(GetModuleHandleW(nullptr));
        App->SetListener(&Router);
    }

    static HWND Hwnd(const SkinWindow& window) { return static_cast<HWND>(window.NativeWindow()->Handle()); }

    SkinEventRouter Router;
    std::unique_ptr<xAppWindow> App;
};

// Records the clicks that reach it.
class ClickRecorder : public SkinWindow
{
public:
    using SkinWindow::SkinWindow;
    bool OnButtonClick(SkinButton& button) override
    {
        Clicked.push_back(button.Id.c_str());
        return true;
    }
    std::vector<std::string> Clicked;
};

} // namespace

TEST_F(SkinWindowWindows, ShippedDocumentsMakeTheirWindows)
{
    struct Case
    {
        const char16_t* Name;
        int32_t Width, Height;
        LONG_PTR ExStyle; // of the bits below, once shown
        bool Rounded;
    };
    // Borderless popups with a taskbar button (the system drops the window-edge
    // bit of a frameless popup); the splash stays on top; the translucent ones
    // become layered when shown.
    const Case cases[] = {
        {u"SplashScreen", 591, 304, WS_EX_APPWINDOW | WS_EX_TOPMOST | WS_EX_LAYERED, true},
        {u"MainFrame", 1280, 829, WS_EX_APPWINDOW | WS_EX_LAYERED, true},
        {u"GameWindow", 1380, 820, WS_EX_APPWINDOW, false},
    };
    const LONG_PTR exMask = WS_EX_APPWINDOW | WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_LAYERED;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(xString(xWString(c.Name)).c_str());
        SkinWindow window(*App, u"Default");
        window.Load(c.Name);
        ASSERT_NE(window.NativeWindow(), nullptr);
        const HWND handle = Hwnd(window);
        ASSERT_NE(handle, nullptr);
        window.Show();
        UpdateWindow(handle);

        EXPECT_TRUE(IsWindowVisible(handle));
        EXPECT_EQ(GetWindowLongPtrW(handle, GWL_STYLE) & ~LONG_PTR(WS_VISIBLE), LONG_PTR(0x86020000));
        EXPECT_EQ(GetWindowLongPtrW(handle, GWL_EXSTYLE) & exMask, c.ExStyle);
        RECT client = {};
        GetClientRect(handle, &client);
        EXPECT_EQ(std::make_pair(client.right, client.bottom), std::make_pair(LONG(c.Width), LONG(c.Height)));

        // Rounded corners cut the region's corner pixel; a square one keeps it.
        const HRGN region = CreateRectRgn(0, 0, 0, 0);
        ASSERT_NE(GetWindowRgn(handle, region), ERROR);
        RECT box = {};
        GetRgnBox(region, &box);
        EXPECT_EQ(std::make_pair(box.right, box.bottom), std::make_pair(LONG(c.Width), LONG(c.Height)));
        EXPECT_EQ(PtInRegion(region, 0, 0) == FALSE, c.Rounded);
        EXPECT_TRUE(PtInRegion(region, c.Width / 2, c.Height / 2));
        DeleteObject(region);
        window.Hide();
        EXPECT_FALSE(IsWindowVisible(handle));
    }
}

TEST_F(SkinWindowWindows, ReleaseOverAButtonClicksItWhereverThePressBegan)
{
    ClickRecorder frame(*App, u"Default");
    frame.Load(u"MainFrame");
    ASSERT_NE(frame.NativeWindow(), nullptr);
    frame.Show();
    frame.Centre();
    RECT outer = {};
    GetWindowRect(Hwnd(frame), &outer);
    xNativeWindow* native = frame.NativeWindow();
    const auto pointAt = [&](int x, int y) { SetCursorPos(outer.left + x, outer.top + y); };

    // A move shows the hover face; when the pointer leaves without a move event
    // the tick's poll takes it back, then looks no more until the next move.
    pointAt(710, 260); // "charge"
    Router.OnMouseMove(native);
    EXPECT_EQ(frame.FindButton("charge")->State, SkinButtonState::Hover);
    SetCursorPos(outer.left + 10, outer.bottom + 40);
    frame.FrameTick(0.2f);
    EXPECT_EQ(frame.FindButton("charge")->State, SkinButtonState::Normal);
    pointAt(710, 260);
    frame.FrameTick(0.2f);
    EXPECT_EQ(frame.FindButton("charge")->State, SkinButtonState::Normal);

    pointAt(560, 260); // "mainpage"
    Router.OnMouseDown(native, MouseButton::Left, 0, 0);
    EXPECT_EQ(frame.FindButton("mainpage")->State, SkinButtonState::Click);
    EXPECT_EQ(frame.FindButton("charge")->State, SkinButtonState::Normal);
    pointAt(850, 260); // "forum"
    Router.OnMouseUp(native, MouseButton::Left, 0, 0);
    pointAt(600, 100); // nothing there
    Router.OnMouseDown(native, MouseButton::Left, 0, 0);
    pointAt(600, 120);
    Router.OnMouseUp(native, MouseButton::Left, 0, 0);
    EXPECT_EQ(frame.Clicked, std::vector<std::string>{"forum"});

    // The system asks the skin where the caption is.
    const LPARAM overClose = MAKELPARAM(outer.left + 1170, outer.top + 180);
    const LPARAM overPicture = MAKELPARAM(outer.left + 600, outer.top + 100);
    EXPECT_EQ(SendMessageW(Hwnd(frame), WM_NCHITTEST, 0, overClose), HTCLIENT);
    EXPECT_EQ(SendMessageW(Hwnd(frame), WM_NCHITTEST, 0, overPicture), HTCAPTION);
}

// Each splash paints through the canvas: its surface, context and pictures go too.
TEST_F(SkinWindowWindows, ManySplashScreensLeaveNothingBehind)
{
    // Wine answers 0 for the GDI and USER counts; there the memory catches a
    // surface or picture that is not freed (each is hundreds of kilobytes).
    const auto usage = []
    {
        // The commit charge: Wine leaves PrivateUsage at 0.
        PROCESS_MEMORY_COUNTERS memory = {};
        GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
        return std::vector<SIZE_T>{GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS),
                                   GetGuiResources(GetCurrentProcess(), GR_USEROBJECTS),
                                   memory.PagefileUsage};
    };
    SplashInputs downloading;
    downloading.State = PackageUpdateDownloading;
    downloading.Busy = true;
    downloading.Progress = 0.5f;
    // Painted but never mapped: under Wine without a window manager each
    // unmapping waits two seconds for the manager's answer.
    const auto paintOne = [&]
    {
        SplashScreen splash(*App, u"Default", [&] { return downloading; });
        splash.Load(u"SplashScreen");
        splash.Centre();
        splash.NativeWindow()->MakeLayered();
        splash.OnPaint();
        EXPECT_EQ(CurrentSplash, &splash);
        return Hwnd(splash);
    };
    paintOne();
    const std::vector<SIZE_T> before = usage();
    std::vector<HWND> handles;
    // Enough that one surface or picture kept per splash shows far above the
    // allowance below, few enough to stay a second's work on Windows.
    constexpr int Splashes = 250;
    for (int i = 0; i < Splashes; ++i)
        handles.push_back(paintOne());
    const std::vector<SIZE_T> after = usage();

    EXPECT_EQ(CurrentSplash, nullptr);
    EXPECT_EQ(App->NativeWindowCount(), 0u);
    EXPECT_EQ(TheSkinWindowRegistry().Count(), 0u);
    for (const HWND handle : handles)
        EXPECT_FALSE(IsWindow(handle));
    EXPECT_LE(after[0], before[0] + 5) << "GDI objects";
    EXPECT_LE(after[1], before[1] + 5) << "USER objects";
    ASSERT_GT(before[2], 0u) << "the memory counter answers";
    EXPECT_LT(after[2], before[2] + Splashes * 32 * 1024)
        << "committed bytes " << before[2] << " -> " << after[2];
}
