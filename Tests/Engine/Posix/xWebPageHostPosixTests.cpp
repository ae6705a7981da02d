#include "Posix/Desktop.h"
#include "TempFolder.h"

#include "xAppWindow.h"
#include "xTextConversion.h"
#include "xWebPageHost.h"

#include <gtk/gtk.h>

#include <gtest/gtest.h>

#include <fstream>

// The login page's bridge in WebKitGTK: the script's call reaches the launcher
// with the Windows bridge's texts and order, and the page shows once loaded.
TEST(xWebPageHostPosix, ScriptCallsReachTheLauncherLastArgumentFirst)
{
    SKIP_WITHOUT_DESKTOP();
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
    // The page's view sits in the owner's layer at the page's place.
    GtkWidget* layer = gtk_bin_get_child(GTK_BIN(owner->Handle()));
    ASSERT_NE(layer, nullptr);
    GList* children = gtk_container_get_children(GTK_CONTAINER(layer));
    ASSERT_EQ(1u, g_list_length(children));
    GtkWidget* view = GTK_WIDGET(children->data);
    g_list_free(children);
    EXPECT_FALSE(gtk_widget_is_visible(view)) << "nothing shows before the page has loaded";
    ASSERT_TRUE(page->Navigate(Utf8ToWide(("file://" + folder.At("page.html").string()).c_str())));
    PumpUntil([&] { return !calls.empty() && gtk_widget_is_visible(view); });
    ASSERT_EQ(1u, calls.size());
    EXPECT_EQ((std::vector<xWString>{u"", u"3", u"login", u"sid=7&uid=9"}), calls[0]) << "null is skipped";
    EXPECT_TRUE(gtk_widget_is_visible(view));
    int x = 0, y = 0;
    gtk_container_child_get(GTK_CONTAINER(layer), view, "x", &x, "y", &y, nullptr);
    EXPECT_EQ(10, x);
    EXPECT_EQ(20, y);
    // The loaded page keeps to its rectangle, and its owner to its size.
    PumpUntil([] { return false; }, 300);
    GtkAllocation shown{};
    gtk_widget_get_allocation(view, &shown);
    EXPECT_EQ(200, shown.width);
    EXPECT_EQ(150, shown.height);
    int width = 0, height = 0;
    gtk_window_get_size(GTK_WINDOW(owner->Handle()), &width, &height);
    EXPECT_EQ(400, width);
    EXPECT_EQ(300, height);
}
