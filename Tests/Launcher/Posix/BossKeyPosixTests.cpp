#include "Posix/Desktop.h"

#include "BossKey.h"
#include "LauncherMain.h"

#include "xAppWindow.h"

#include <vector>

// The hot key grabbed on the test's X server: a key press from XTest (xdotool)
// reaches the window's listener as WM_HOTKEY reaches it under Windows, with
// Num Lock on too; after the unregistration the key is the others' again.

namespace
{
struct HotKeyListener : xAppWindowListener
{
    std::vector<std::pair<int32_t, intptr_t>> Keys;
    void OnHotKey(xNativeWindow*, int32_t id, intptr_t keyData) override { Keys.emplace_back(id, keyData); }
};
} // namespace

TEST(BossKeyPosix, TheGrabbedKeyReachesTheWindowUntilUnregistered)
{
    SKIP_WITHOUT_DESKTOP();
    xAppWindow app(nullptr);
    HotKeyListener listener;
    app.SetListener(&listener);
    xNativeWindow* window = app.CreateNativeWindow(WindowDescription{});
    ASSERT_NE(window->Handle(), nullptr);
    xAppWindow* previous = ApplicationWindow;
    ApplicationWindow = &app;
    struct Case
    {
        uint32_t VirtualKey;
        uint32_t Modifiers;
        const char* Keys;
    };
    const Case cases[] = {
        {'E', 0x1, "alt+e"},
        {0x74, 0x2 | 0x4, "Num_Lock ctrl+shift+F5 Num_Lock"},
        {0xBC, 0x2, "ctrl+comma"},
    };
    for (const Case& key : cases)
    {
        listener.Keys.clear();
        ASSERT_EQ(1, RegisterWindowHotKey(window->Handle(), 3, key.Modifiers, key.VirtualKey)) << key.Keys;
        EXPECT_EQ(0, DesktopCommand(std::string("xdotool key ") + key.Keys).Join());
        EXPECT_TRUE(PumpUntil([&] { return !listener.Keys.empty(); })) << key.Keys;
        const intptr_t keyData = static_cast<intptr_t>(key.VirtualKey << 16 | key.Modifiers);
        EXPECT_EQ((std::vector<std::pair<int32_t, intptr_t>>{{3, keyData}}), listener.Keys) << key.Keys;

        ASSERT_EQ(1, UnregisterWindowHotKey(window->Handle(), 3)) << key.Keys;
        listener.Keys.clear();
        EXPECT_EQ(0, DesktopCommand(std::string("xdotool key ") + key.Keys).Join());
        PumpUntil([] { return false; }, 300);
        EXPECT_TRUE(listener.Keys.empty()) << key.Keys << " still grabbed";
    }
    ApplicationWindow = previous;
}

// The dialog's field shows Alt+E at the first opening and takes the key the
// player presses, modifiers and all, in the hot-key control's format.
TEST(BossKeyPosix, TheDialogFieldTakesThePressedKey)
{
    SKIP_WITHOUT_DESKTOP();
    BossKeyValue = 0;
    OpenBossKeyDialog();
    ReadBossKeyFromDialog();
    EXPECT_EQ(DefaultBossKey, BossKeyValue);
    DesktopCommand typed(TypeIntoWindowCommand("老板键", "ctrl+shift+F5"));
    EXPECT_TRUE(PumpUntil(
        []
        {
            ReadBossKeyFromDialog();
            return BossKeyValue == 0x0374;
        }))
        << BossKeyValue;
    EXPECT_EQ(0, typed.Join());
    HideBossKeyDialog();
}
