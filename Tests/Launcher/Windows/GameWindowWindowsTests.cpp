#include "GameWindow.h"

#include "ResPack.h"
#include "SkinEventRouter.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <tuple>

// The tray and the boss key show a minimised, maximised frame through Maximize;
// the restore button then puts it back where it was before the first maximise.
TEST(GameWindowWindows, RestoreAfterShowingAMinimisedFrameComesBackOnScreen)
{
    TheResPack().Load();
    xAppWindow app(GetModuleHandleW(nullptr));
    SkinEventRouter router;
    app.SetListener(&router);
    GameWindow frame(app);
    frame.Load(u"GameWindow");
    ASSERT_NE(frame.NativeWindow(), nullptr);
    xNativeWindow& native = *frame.NativeWindow();
    native.SetScreenRect({100, 80, 900, 680});
    frame.Show();
    frame.Maximize();
    frame.Minimize();
    ASSERT_TRUE(native.IsMinimized());

    frame.Maximize();
    EXPECT_FALSE(native.IsMinimized());
    ASSERT_NE(frame.FindButton("game.restore"), nullptr);
    frame.OnButtonClick(*frame.FindButton("game.restore"));
    const xWindowRect back = native.ScreenRect();
    EXPECT_EQ(std::make_tuple(back.Left, back.Top, back.Right, back.Bottom),
              std::make_tuple(100, 80, 900, 680));
    frame.Hide();
}
