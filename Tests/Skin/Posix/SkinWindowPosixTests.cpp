#include "Posix/Desktop.h"
#include "ResPack.h"
#include "SkinEventRouter.h"
#include "SkinWindow.h"

// gtest before X11's headers, whose macros clash with its names.
#include <gtest/gtest.h>

#include <X11/Xutil.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>

// Skinned windows made from the shipped documents, queried through GDK.
TEST(SkinWindowPosix, ShippedDocumentsMakeTheirWindows)
{
    SKIP_WITHOUT_DESKTOP();
    TheResPack().Load();
    SkinEventRouter router;
    xAppWindow app(nullptr);
    app.SetListener(&router);
    const struct
    {
        const char16_t* Name;
        int Width, Height;
        bool Translucent, Sizable;
    } cases[] = {{u"SplashScreen", 591, 304, true, false},
                 {u"MainFrame", 1280, 829, true, false},
                 {u"GameWindow", 1380, 820, false, true}};
    for (const auto& c : cases)
    {
        SCOPED_TRACE(xString(xWString(c.Name)).c_str());
        SkinWindow window(app, u"Default");
        window.Load(c.Name);
        ASSERT_NE(window.NativeWindow()->Handle(), nullptr);
        window.Show();
        GtkWidget* widget = GTK_WIDGET(window.NativeWindow()->Handle());
        PumpUntil([&] { return gtk_widget_is_visible(widget) != FALSE; }, 2000);
        int width = 0, height = 0;
        gtk_window_get_size(GTK_WINDOW(widget), &width, &height);
        // The sizable frame stays inside the work area, as the window manager would keep it.
        const xWindowRect work = window.NativeWindow()->MonitorWorkArea();
        EXPECT_EQ(c.Sizable ? std::min(c.Width, work.Right - work.Left) : c.Width, width);
        EXPECT_EQ(c.Height, height);
        EXPECT_FALSE(gtk_window_get_decorated(GTK_WINDOW(widget)));
        EXPECT_FALSE(gtk_window_get_skip_taskbar_hint(GTK_WINDOW(widget)))
            << "every skinned window has a taskbar button";
        EXPECT_EQ(c.Translucent, gdk_visual_get_depth(gtk_widget_get_visual(widget)) == 32);
        // The sizable game frame carries its limits to the window manager: the
        // skin's minimum, the work area as the maximum.
        XSizeHints hints{};
        long supplied = 0;
        GdkWindow* gdk = gtk_widget_get_window(widget);
        XGetWMNormalHints(GDK_WINDOW_XDISPLAY(gdk), GDK_WINDOW_XID(gdk), &hints, &supplied);
        EXPECT_EQ(c.Sizable ? 800 : width, hints.min_width);
        EXPECT_EQ(c.Sizable ? work.Right - work.Left : width, hints.max_width);
        window.Hide();
    }
}
