#include "Posix/Desktop.h"

#include "xMessageBox.h"
#include "xTextConversion.h"

#include <gtk/gtk.h>

namespace
{
// A box still open after 30 s (its keys lost on a busy desktop) is closed with
// no answer from inside its own modal loop, so that the case fails instead of
// waiting for a player who never comes.
gboolean CloseOpenBoxes(gpointer)
{
    GList* windows = gtk_window_list_toplevels();
    for (GList* item = windows; item != nullptr; item = item->next)
    {
        if (!GTK_IS_DIALOG(item->data))
            continue;
        ADD_FAILURE() << "a box was still open after 30 s: " << gtk_window_get_title(GTK_WINDOW(item->data));
        gtk_dialog_response(GTK_DIALOG(item->data), GTK_RESPONSE_NONE);
    }
    g_list_free(windows);
    return G_SOURCE_CONTINUE;
}
} // namespace

// The boxes are real windows on the test's display: found by their caption and
// answered from the keyboard, their answer is the function's result.
TEST(xMessageBoxPosix, TheAnswerOnTheScreenIsTheResult)
{
    SKIP_WITHOUT_DESKTOP();
    struct Case
    {
        xMessageBoxFunction Show;
        const char* Keys;
        bool Expected;
    };
    const Case cases[] = {
        {ShowErrorMessageBox, "Return", true},
        {ShowConfirmMessageBox, "Return", false}, // Cancel is the default
        {ShowConfirmMessageBox, "Escape", false},
        {ShowConfirmMessageBox, "alt+o", true},
    };
    int row = 0;
    for (const Case& box : cases)
    {
        const std::string caption = "LauncherBox" + std::to_string(row++);
        DesktopCommand answer(TypeIntoWindowCommand(caption, box.Keys));
        const guint watchdog = g_timeout_add_seconds(30, CloseOpenBoxes, nullptr);
        EXPECT_EQ(box.Expected, box.Show(u"确定退出微端吗？", Utf8ToWide(caption.c_str()))) << caption;
        g_source_remove(watchdog);
        EXPECT_EQ(0, answer.Join()) << caption << ": no such window was answered";
    }
}
