#include "TempFolder.h"

#include "xAppWindow.h"
#include "xProcessSetup.h"
#include "xTextConversion.h"
#include "xWebPageHost.h"

#include <gtk/gtk.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

// The login page's bridge in WebKitGTK: the script's call reaches the launcher
// with the Windows bridge's texts and order, and the page shows once loaded.
TEST(xWebPageHostPosix, ScriptCallsReachTheLauncherLastArgumentFirst)
{
    if (std::getenv("DISPLAY") == nullptr)
        GTEST_SKIP() << "no X display (scripts/lib/peers.sh starts Xvfb for the window tests)";
    TempFolder folder("page");
    std::ofstream(folder.At("page.html"))
        << "<html><body><script>window.external.Invoke_Client('sid=7&uid=9', 'login', null, 3, undefined);"
           "</script></body></html>";
    xAppWindow app(nullptr);
    WindowDescription description;
    description.WidthDesiredOnScreen = 400;
    description.HeightDesiredOnScreen = 300;
    xNativeWindow* owner = app.CreateNativeWindow(description);
    ASSERT_NE(owner->Handle(), nullptr);
    owner->Show();
    std::vector<std::vector<xWString>> calls;
    std::unique_ptr<xWebPageHost> page =
        CreateWebPageHost(*owner, {10, 20, 210, 170},
                          [&](const std::vector<xWString>& arguments) { calls.push_back(arguments); });
    ASSERT_NE(page, nullptr);
    GtkWidget* popup = nullptr;
    for (GList* each = gtk_window_list_toplevels(); each != nullptr; each = each->next)
        if (gtk_window_get_transient_for(GTK_WINDOW(each->data)) == GTK_WINDOW(owner->Handle()))
            popup = GTK_WIDGET(each->data);
    ASSERT_NE(popup, nullptr);
    EXPECT_FALSE(gtk_widget_is_visible(popup)) << "nothing shows before the page has loaded";
    ASSERT_TRUE(page->Navigate(Utf8ToWide(("file://" + folder.At("page.html").string()).c_str())));
    for (int i = 0; i < 1000 && (calls.empty() || !gtk_widget_is_visible(popup)); ++i)
    {
        DrainThreadMessages();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ((std::vector<xWString>{u"", u"3", u"login", u"sid=7&uid=9"}), calls[0]) << "null is skipped";
    EXPECT_TRUE(gtk_widget_is_visible(popup));
    int x = 0, y = 0;
    gtk_window_get_position(GTK_WINDOW(popup), &x, &y);
    const xWindowRect outer = owner->ScreenRect();
    EXPECT_EQ(outer.Left + 10, x);
    EXPECT_EQ(outer.Top + 20, y);
}
