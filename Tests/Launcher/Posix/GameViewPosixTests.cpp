// The game's view natively: an X11 child of the frame's window, and the native
// demo game (RWGame beside the tests) drawing into it and speaking to it in
// client messages, on the desktop scripts/lib/peers.sh starts.
#include "ChildProcess.h"
#include "Posix/Desktop.h"
#include "GameView.h"
#include "GameWindowRules.h"
#include "TempFolder.h"

#include "xAppWindow.h"

// Before Xlib, whose macros (None, Bool) would break it.
#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <fstream>
#include <sstream>
#include <vector>

namespace
{
struct RecordingListener : GameViewListener
{
    void OnGameMainWindow(uint64_t handle) override { Received.push_back({GameMsgMainWindow, handle}); }
    void OnGameCloseFrame() override { Received.push_back({GameMsgCloseFrame, 0}); }
    void OnGameCanClose() override { Received.push_back({GameMsgCanClose, 0}); }
    std::vector<std::pair<uint32_t, uint64_t>> Received;
};

Display* XDisplay()
{
    return gdk_x11_display_get_xdisplay(gdk_display_get_default());
}

// A shown 800 x 600 frame with a view in it, placed below an imagined title band.
struct FrameWithView
{
    FrameWithView()
    {
        WindowDescription description;
        description.WidthDesiredOnScreen = 800;
        description.HeightDesiredOnScreen = 600;
        Frame = App.CreateNativeWindow(description);
        Frame->SetScreenRect({40, 50, 840, 650});
        Frame->Show();
        PumpUntil([&] { return gtk_widget_get_mapped(GTK_WIDGET(Frame->Handle())) != FALSE; });
        View = std::make_unique<GameView>(*Frame, xWindowPoint{48, 80}, Listener);
    }
    Window FrameId() const
    {
        return gdk_x11_window_get_xid(gtk_widget_get_window(GTK_WIDGET(Frame->Handle())));
    }
    Window ViewId() const { return static_cast<Window>(View->HandleValue()); }

    xAppWindow App{nullptr};
    xNativeWindow* Frame = nullptr;
    RecordingListener Listener;
    std::unique_ptr<GameView> View;
};
} // namespace

TEST(GameViewPosix, IsAChildOfTheFrameWindowAtThePlacedRectangle)
{
    SKIP_WITHOUT_DESKTOP();
    FrameWithView frame;
    ASSERT_NE(frame.View->HandleValue(), 0u) << "the view is an X11 window";
    const xWindowRect places[] = {{48, 80, 832, 642}, {40, 80, 840, 650}};
    for (const xWindowRect& place : places)
    {
        frame.View->Place(place);
        frame.View->Show();
        XWindowAttributes attributes{};
        PumpUntil(
            [&]
            {
                return XGetWindowAttributes(XDisplay(), frame.ViewId(), &attributes) &&
                       attributes.map_state == IsViewable;
            });
        Window root = 0, parent = 0, *children = nullptr;
        unsigned count = 0;
        ASSERT_TRUE(XQueryTree(XDisplay(), frame.ViewId(), &root, &parent, &children, &count));
        XFree(children);
        EXPECT_EQ(parent, frame.FrameId());
        EXPECT_EQ(attributes.map_state, IsViewable);
        EXPECT_EQ(attributes.x, place.Left - 40);
        EXPECT_EQ(attributes.y, place.Top - 50);
        EXPECT_EQ(attributes.width, place.Right - place.Left);
        EXPECT_EQ(attributes.height, place.Bottom - place.Top);
        int x = 0, y = 0;
        Window child = 0;
        XTranslateCoordinates(XDisplay(), frame.ViewId(), root, 0, 0, &x, &y, &child);
        EXPECT_EQ(x, place.Left) << "on the screen";
        EXPECT_EQ(y, place.Top);
    }
    frame.View->Hide();
    XWindowAttributes attributes{};
    EXPECT_TRUE(PumpUntil(
        [&]
        {
            return XGetWindowAttributes(XDisplay(), frame.ViewId(), &attributes) &&
                   attributes.map_state == IsUnmapped;
        }));
}

TEST(GameViewPosix, TheDemoGameDrawsInTheViewSpeaksInOrderAndClosesOnRequest)
{
    SKIP_WITHOUT_DESKTOP();
    FrameWithView frame;
    frame.View->Place({48, 80, 832, 642});
    frame.View->Show();
    TempFolder folder("game-view");
    ChildProcess game;
    ASSERT_TRUE(game.Start(
        {TestBinFolder() + "RWGame", std::to_string(frame.View->HandleValue()), "sid=1,uid=2,time=5"},
        folder.At("stderr").string()));
    auto& received = frame.Listener.Received;
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 2; })) << "the game greets its view";
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received[0].first, GameMsgMainWindow);
    EXPECT_EQ(received[1].first, GameMsgCanClose);
    const uint64_t main = received[0].second;
    EXPECT_TRUE(IsGameWindowAlive(main));
    Window root = 0, parent = 0, *children = nullptr;
    unsigned count = 0;
    ASSERT_TRUE(XQueryTree(XDisplay(), static_cast<Window>(main), &root, &parent, &children, &count));
    XFree(children);
    EXPECT_EQ(parent, frame.ViewId()) << "the game's window is the view's child";

    // The snow on the ground, near the view's bottom-left corner: no longer the view's black.
    unsigned long pixel = 0;
    EXPECT_TRUE(PumpUntil(
        [&]
        {
            XImage* image = XGetImage(XDisplay(), frame.ViewId(), 60, 555, 1, 1, AllPlanes, ZPixmap);
            pixel = image != nullptr ? XGetPixel(image, 0, 0) : 0;
            if (image != nullptr)
                XDestroyImage(image);
            return (pixel & 0xFF) > 200 && ((pixel >> 16) & 0xFF) > 150;
        }))
        << std::hex << "pixel " << pixel;

    XEvent escape{};
    escape.xkey = {KeyPress,
                   0,
                   True,
                   XDisplay(),
                   static_cast<Window>(main),
                   root,
                   0,
                   CurrentTime,
                   1,
                   1,
                   1,
                   1,
                   0,
                   XKeysymToKeycode(XDisplay(), XK_Escape),
                   True};
    XSendEvent(XDisplay(), static_cast<Window>(main), True, KeyPressMask, &escape);
    XFlush(XDisplay());
    ASSERT_TRUE(PumpUntil([&] { return received.size() >= 3; })) << "Escape asks to close the frame";
    EXPECT_EQ(received[2].first, GameMsgCloseFrame);
    EXPECT_TRUE(game.Running()) << "asking is all: the launcher closes the frame";

    AskGameWindowToClose(main);
    EXPECT_EQ(game.Wait(10000), 0) << "the close request ends the game; its stderr: "
                                   << std::ifstream(folder.At("stderr")).rdbuf();
    EXPECT_FALSE(IsGameWindowAlive(main));
    EXPECT_EQ(received.size(), 3u);
}

TEST(GameViewPosix, TheGameStartsByItselfOrUnderARunnerWithTheViewInItsEnvironment)
{
    SKIP_WITHOUT_DESKTOP();
    FrameWithView frame;
    TempFolder folder("game-runner");
    // As the update writes it: no execute bit.
    const std::string script = folder.At("game.sh").string();
    std::ofstream(script) << "#!/bin/sh\necho \"$LAUNCHER_GAME_VIEW $*\" > \"$(dirname \"$0\")/ran\"\n";
    const std::string id = std::to_string(frame.View->HandleValue());
    for (const char* runner : {"", "sh"})
    {
        SCOPED_TRACE(runner);
        std::filesystem::remove(folder.At("ran"));
        setenv("LAUNCHER_GAME_RUNNER", runner, 1);
        const xWString found = GameRunner();
        unsetenv("LAUNCHER_GAME_RUNNER");
        EXPECT_EQ(found.IsEmpty() ? '-' : xString(found).c_str()[0], *runner ? '/' : '-')
            << "found on the PATH";
        const GameCommand command =
            GameProcessCommand(found, xWString(xString(script.c_str())),
                               GameProcessArguments(frame.View->HandleValue(), u"sid=1"));
        xProcessHandle process = frame.View->StartGame(command.Program, command.Arguments);
        int exitCode = -1;
        ASSERT_TRUE(process.Wait(10000, &exitCode));
        std::string line;
        std::getline(std::ifstream(folder.At("ran")), line);
        EXPECT_EQ(line, id + " " + id + " sid=1");
    }
}

TEST(GameViewPosix, TheDemoGameRefusesWhatItCannotUseWithExitCodeTwo)
{
    SKIP_WITHOUT_DESKTOP();
    std::string gone;
    {
        FrameWithView frame;
        gone = std::to_string(frame.View->HandleValue());
    }
    XSync(XDisplay(), False);
    const struct
    {
        std::vector<std::string> Arguments;
        const char* Says;
    } cases[] = {
        {{}, "handle is missing"},
        {{"12x", "sid=1"}, "'12x' is not an unsigned decimal"},
        {{gone, "sid=1"}, "is no window"},
    };
    TempFolder folder("game-refused");
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Says);
        std::vector<std::string> arguments = {TestBinFolder() + "RWGame"};
        arguments.insert(arguments.end(), c.Arguments.begin(), c.Arguments.end());
        ChildProcess game;
        ASSERT_TRUE(game.Start(arguments, folder.At("stderr").string()));
        EXPECT_EQ(game.Wait(10000), 2);
        std::stringstream text;
        text << std::ifstream(folder.At("stderr")).rdbuf();
        EXPECT_NE(text.str().find(c.Says), std::string::npos) << text.str();
        EXPECT_NE(text.str().find("Usage: RWGame"), std::string::npos) << text.str();
    }
}
