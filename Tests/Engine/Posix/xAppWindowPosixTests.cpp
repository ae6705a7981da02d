#include "Posix/Desktop.h"

#include "xAppWindow.h"

// gtest before X11's headers, whose macros clash with its names.
#include <gtest/gtest.h>

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace
{
// Key calls as text, in the order they came.
class KeyRecorder : public xAppWindowListener
{
public:
    void OnKeyDown(uint32_t key, uint32_t character, bool repeat) override
    {
        Calls.push_back("down " + std::to_string(key) + " " + std::to_string(character) +
                        (repeat ? " repeat" : ""));
    }
    void OnKeyUp(uint32_t key, uint32_t, bool) override { Calls.push_back("up " + std::to_string(key)); }
    void OnChar(uint32_t character, bool) override { Calls.push_back("char " + std::to_string(character)); }
    std::vector<std::string> Calls;
};
} // namespace

// Keys typed into a skinned window reach the listener with the Windows codes:
// the key-down with the unshifted character, the typed character, the key-up.
TEST(xAppWindowPosix, KeysReachTheListenerWithWindowsCodes)
{
    SKIP_WITHOUT_DESKTOP();
    KeyRecorder recorder;
    xAppWindow app(nullptr);
    app.SetListener(&recorder);
    WindowDescription description;
    description.WidthDesiredOnScreen = 200;
    description.HeightDesiredOnScreen = 100;
    xNativeWindow* window = app.CreateNativeWindow(description);
    ASSERT_NE(window->Handle(), nullptr);
    window->Show();
    PumpUntil([] { return false; }, 200);
    const unsigned long id = GDK_WINDOW_XID(gtk_widget_get_window(GTK_WIDGET(window->Handle())));
    const std::string command =
        "xdotool windowfocus --sync " + std::to_string(id) + " key a Return shift+b F5";
    ASSERT_EQ(0, std::system(command.c_str()));
    PumpUntil([] { return false; }, 300);
    // xdotool lets shift go before the b.
    const std::vector<std::string> expected = {
        "down 65 65", "char 97", "up 65",  "down 13 13", "char 13",    "up 13", "down 160 0",
        "down 66 66", "char 66", "up 160", "up 66",      "down 116 0", "up 116"};
    EXPECT_EQ(expected, recorder.Calls);
}
