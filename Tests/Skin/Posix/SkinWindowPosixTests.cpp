#include "ResPack.h"
#include "SkinEventRouter.h"
#include "SkinWindow.h"

#include "xProcessSetup.h"

#include <gtk/gtk.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <thread>

// Skinned windows made from the shipped documents, queried through GDK.
TEST(SkinWindowPosix, ShippedDocumentsMakeTheirWindows)
{
    if (std::getenv("DISPLAY") == nullptr)
        GTEST_SKIP() << "no X display (scripts/lib/peers.sh starts Xvfb for the window tests)";
    TheResPack().Load();
    SkinEventRouter router;
    xAppWindow app(nullptr);
    app.SetListener(&router);
    const struct
    {
        const char16_t* Name;
        int Width, Height;
        bool Translucent;
    } cases[] = {{u"SplashScreen", 591, 304, true},
                 {u"MainFrame", 1280, 829, true},
                 {u"GameWindow", 1380, 820, false}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(xString(xWString(c.Name)).c_str());
        SkinWindow window(app, u"Default");
        window.Load(c.Name);
        ASSERT_NE(window.NativeWindow()->Handle(), nullptr);
        window.Show();
        GtkWidget* widget = GTK_WIDGET(window.NativeWindow()->Handle());
        for (int i = 0; i < 200 && !gtk_widget_is_visible(widget); ++i)
        {
            DrainThreadMessages();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        DrainThreadMessages();
        int width = 0, height = 0;
        gtk_window_get_size(GTK_WINDOW(widget), &width, &height);
        EXPECT_EQ(c.Width, width);
        EXPECT_EQ(c.Height, height);
        EXPECT_FALSE(gtk_window_get_decorated(GTK_WINDOW(widget)));
        EXPECT_FALSE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(widget)))
            << "every skinned window has a taskbar button";
        EXPECT_EQ(c.Translucent, gdk_visual_get_depth(gtk_widget_get_visual(widget)) == 32);
        window.Hide();
    }
}
