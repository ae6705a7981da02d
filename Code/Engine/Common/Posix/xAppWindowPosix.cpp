#include "xAppWindow.h"

#include "xNativeWindowGtk.h"
#include "xTextConversion.h"
#include "xVirtualKeysGtk.h"

#include <gtk/gtk.h>

#include <set>
#include <utility>

// The windows through GTK 3 on X11. GTK hands each event to a signal handler
// here, which calls the listener the way the Windows layer does for the
// matching message; without a display no window is created (its handle stays
// null) and no event arrives.

namespace
{
bool GtkReady()
{
    static const bool ready = gtk_init_check(nullptr, nullptr) != FALSE;
    return ready;
}

xNativeWindow& Of(gpointer data)
{
    return *static_cast<xNativeWindow*>(data);
}

xAppWindowListener& ListenerOf(gpointer data)
{
    return Of(data).Owner().Listener();
}

MouseButton ButtonOf(guint button)
{
    switch (button)
    {
    case 2:
        return MouseButton::Middle;
    case 3:
        return MouseButton::Right;
    case 8:
        return MouseButton::Extra1;
    case 9:
        return MouseButton::Extra2;
    default:
        return MouseButton::Left;
    }
}

gboolean OnDraw(GtkWidget*, cairo_t* context, gpointer data)
{
    xNativeWindowGtk::DrawingContext = context;
    ListenerOf(data).OnPaint(&Of(data));
    xNativeWindowGtk::DrawingContext = nullptr;
    // On to the children (the login page); an app-paintable window draws no background of its own.
    return FALSE;
}

const std::pair<WindowZone, GdkWindowEdge> ZoneEdges[] = {
    {WindowZone::TopLeft, GDK_WINDOW_EDGE_NORTH_WEST},
    {WindowZone::Top, GDK_WINDOW_EDGE_NORTH},
    {WindowZone::TopRight, GDK_WINDOW_EDGE_NORTH_EAST},
    {WindowZone::Left, GDK_WINDOW_EDGE_WEST},
    {WindowZone::Right, GDK_WINDOW_EDGE_EAST},
    {WindowZone::BottomLeft, GDK_WINDOW_EDGE_SOUTH_WEST},
    {WindowZone::Bottom, GDK_WINDOW_EDGE_SOUTH},
    {WindowZone::BottomRight, GDK_WINDOW_EDGE_SOUTH_EAST}};

// The zones the system's frame answers on Windows: the caption and the edges.
bool IsFrameZone(WindowZone zone)
{
    return zone == WindowZone::Caption ||
           (zone >= WindowZone::TopLeft && zone <= WindowZone::BottomRight && zone != WindowZone::Client);
}

// The skin's caption moves the window and its edges size it, as the system's
// frame would: the window manager (or GDK without one) takes the drag, within
// the window's size limits.
void StartSizeOrMove(GtkWindow* window, GdkEventButton* event, WindowZone zone)
{
    const gint x = static_cast<gint>(event->x_root), y = static_cast<gint>(event->y_root);
    if (zone == WindowZone::Caption)
    {
        gtk_window_begin_move_drag(window, 1, x, y, event->time);
        return;
    }
    if (!gtk_window_get_resizable(window))
        return;
    for (const auto& [edgeZone, edge] : ZoneEdges)
        if (edgeZone == zone)
            gtk_window_begin_resize_drag(window, edge, 1, x, y, event->time);
}

gboolean OnButtonPress(GtkWidget* widget, GdkEventButton* event, gpointer data)
{
    xAppWindowListener& listener = ListenerOf(data);
    const MouseButton button = ButtonOf(event->button);
    if (event->type == GDK_2BUTTON_PRESS)
    {
        listener.OnMouseDoubleClick(&Of(data), button, static_cast<float>(event->x_root),
                                    static_cast<float>(event->y_root));
        return TRUE;
    }
    if (event->type != GDK_BUTTON_PRESS)
        return TRUE;
    const WindowZone zone =
        listener.HitTest(&Of(data), static_cast<int32_t>(event->x), static_cast<int32_t>(event->y));
    if (button == MouseButton::Left && IsFrameZone(zone))
    {
        if (listener.OnWindowButton(&Of(data), WindowButtonAction::Press))
            StartSizeOrMove(GTK_WINDOW(widget), event, zone);
        return TRUE;
    }
    listener.OnMouseDown(&Of(data), button, static_cast<float>(event->x_root),
                         static_cast<float>(event->y_root));
    return TRUE;
}

gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data)
{
    ListenerOf(data).OnMouseUp(&Of(data), ButtonOf(event->button), static_cast<float>(event->x_root),
                               static_cast<float>(event->y_root));
    return TRUE;
}

void ReportPointerMove(gpointer data)
{
    if (!Of(data).Owner().InSizeMove())
        ListenerOf(data).OnMouseMove(&Of(data));
}

gboolean OnMotion(GtkWidget*, GdkEventMotion*, gpointer data)
{
    ReportPointerMove(data);
    return TRUE;
}

// Leaving is a move too: the skin looks where the pointer is now.
gboolean OnLeave(GtkWidget*, GdkEventCrossing*, gpointer data)
{
    ReportPointerMove(data);
    return FALSE;
}

gboolean OnScroll(GtkWidget*, GdkEventScroll* event, gpointer data)
{
    double dx = 0.0, dy = 0.0;
    float steps = 0.0f;
    if (event->direction == GDK_SCROLL_UP)
        steps = 1.0f;
    else if (event->direction == GDK_SCROLL_DOWN)
        steps = -1.0f;
    else if (gdk_event_get_scroll_deltas(reinterpret_cast<GdkEvent*>(event), &dx, &dy))
        steps = static_cast<float>(-dy);
    ListenerOf(data).OnMouseWheel(steps, static_cast<float>(event->x_root),
                                  static_cast<float>(event->y_root));
    return TRUE;
}

gboolean OnConfigure(GtkWidget*, GdkEventConfigure* event, gpointer data)
{
    xNativeWindow& window = Of(data);
    ListenerOf(data).OnMoved(&window, event->x, event->y);
    if (event->width != window.RegionWidth() || event->height != window.RegionHeight())
    {
        window.SetRegionSize(event->width, event->height);
        ListenerOf(data).OnResized(&window, event->width, event->height, window.IsMinimized());
    }
    return FALSE;
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data)
{
    // The listener decides; the window stays until it is destroyed on purpose.
    ListenerOf(data).OnClose(&Of(data));
    return TRUE;
}

gboolean OnFocus(GtkWidget*, GdkEventFocus* event, gpointer data)
{
    const bool in = event->in != FALSE;
    ListenerOf(data).OnActivate(&Of(data), in ? ActivationKind::Activated : ActivationKind::Deactivated);
    ListenerOf(data).OnAppActivate(in);
    return FALSE;
}

// The keys held down, by hardware code: a press of one of them is a repeat.
std::set<guint16>& KeysDown()
{
    static std::set<guint16> keys;
    return keys;
}

// A key as Windows reports it: the key-down with its code and unshifted
// character, then the typed character (text input), and the key-up.
gboolean OnKey(GtkWidget* widget, GdkEventKey* event, gpointer data)
{
    // A focused child (the login page's field) has the keyboard, as its own
    // window would have under Windows.
    if (gtk_window_get_focus(GTK_WINDOW(widget)) != nullptr)
        return FALSE;
    xAppWindowListener& listener = ListenerOf(data);
    const uint32_t virtualKey = VirtualKeyOfKeyval(event->keyval);
    const uint32_t character = gdk_keyval_to_unicode(gdk_keyval_to_upper(event->keyval));
    if (event->type == GDK_KEY_RELEASE)
    {
        KeysDown().erase(event->hardware_keycode);
        if (virtualKey != 0)
            listener.OnKeyUp(virtualKey, character, false);
        return FALSE;
    }
    const bool repeat = !KeysDown().insert(event->hardware_keycode).second;
    if (virtualKey != 0)
        listener.OnKeyDown(virtualKey, character, repeat);
    const uint32_t typed = gdk_keyval_to_unicode(event->keyval);
    if (typed != 0 && (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) == 0)
        listener.OnChar(typed, repeat);
    return FALSE;
}

void Connect(GtkWidget* widget, xNativeWindow* window)
{
    gtk_widget_add_events(widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK | GDK_POINTER_MOTION_MASK |
                                      GDK_LEAVE_NOTIFY_MASK | GDK_SCROLL_MASK | GDK_SMOOTH_SCROLL_MASK |
                                      GDK_STRUCTURE_MASK | GDK_FOCUS_CHANGE_MASK | GDK_KEY_PRESS_MASK |
                                      GDK_KEY_RELEASE_MASK);
    g_signal_connect(widget, "draw", G_CALLBACK(OnDraw), window);
    g_signal_connect(widget, "button-press-event", G_CALLBACK(OnButtonPress), window);
    g_signal_connect(widget, "button-release-event", G_CALLBACK(OnButtonRelease), window);
    g_signal_connect(widget, "motion-notify-event", G_CALLBACK(OnMotion), window);
    g_signal_connect(widget, "leave-notify-event", G_CALLBACK(OnLeave), window);
    g_signal_connect(widget, "scroll-event", G_CALLBACK(OnScroll), window);
    g_signal_connect(widget, "key-press-event", G_CALLBACK(OnKey), window);
    g_signal_connect(widget, "key-release-event", G_CALLBACK(OnKey), window);
    g_signal_connect(widget, "configure-event", G_CALLBACK(OnConfigure), window);
    g_signal_connect(widget, "delete-event", G_CALLBACK(OnDelete), window);
    g_signal_connect(widget, "focus-in-event", G_CALLBACK(OnFocus), window);
    g_signal_connect(widget, "focus-out-event", G_CALLBACK(OnFocus), window);
}
} // namespace

xAppWindow::xAppWindow(void* instance) : ModuleInstance(instance)
{
    ReadDisplayInfo(Display);
}

xAppWindow::~xAppWindow()
{
    while (!Windows.empty())
        DestroyNativeWindow(Windows.back().get());
}

xNativeWindow* xAppWindow::CreateNativeWindow(const WindowDescription& description)
{
    Windows.push_back(std::make_unique<xNativeWindow>(*this, description));
    xNativeWindow* window = Windows.back().get();
    if (!GtkReady())
        return window;
    GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* gtk = GTK_WINDOW(widget);
    gtk_window_set_title(gtk, WideToUtf8(description.Title).c_str());
    gtk_window_set_decorated(gtk, description.HasOSWindowBorder);
    gtk_window_set_resizable(gtk, description.HasSizingFrame || description.HasOSWindowBorder);
    gtk_window_set_skip_taskbar_hint(gtk, !description.IsInTaskbar);
    gtk_window_set_keep_above(gtk, description.IsTopmostWindow);
    gtk_window_set_focus_on_map(gtk, description.ActivateWhenFirstShown || description.FocusWhenFirstShown);
    gtk_widget_set_app_paintable(widget, TRUE);
    // Per-pixel alpha needs an RGBA visual (and a compositing manager to show it).
    GdkVisual* rgba = gdk_screen_get_rgba_visual(gtk_widget_get_screen(widget));
    if (description.Transparency != 0 && rgba != nullptr)
        gtk_widget_set_visual(widget, rgba);
    Connect(widget, window);
    window->NativeHandle = widget;
    window->SetClientRect(description.XDesiredPositionOnScreen, description.YDesiredPositionOnScreen,
                          description.WidthDesiredOnScreen, description.HeightDesiredOnScreen);
    gtk_widget_realize(widget);
    return window;
}

void xAppWindow::DestroyNativeWindow(xNativeWindow* window)
{
    if (window == nullptr)
        return;
    if (window->Handle() != nullptr)
        gtk_widget_destroy(GTK_WIDGET(window->Handle()));
    ForgetNativeWindow(window);
}

void xAppWindow::RemoveNativeWindow(void*) {}

// No taskbar progress on the X11 desktops this build targets.
void xAppWindow::SetTaskbarProgressState(xNativeWindow*, int32_t) {}

void xAppWindow::SetTaskbarProgressValue(xNativeWindow*, uint64_t, uint64_t) {}

intptr_t xAppWindow::Default(xNativeWindow*, void*, uint32_t, uintptr_t, intptr_t)
{
    return 0;
}

// GTK calls the handlers above directly; no window procedure sees a message here.
intptr_t xAppWindow::WindowProcedure(void*, uint32_t, uintptr_t, intptr_t)
{
    return 0;
}

void xAppWindow::PollModifierKeys() {}

void xAppWindow::ProcessInput() {}

void xAppWindow::DispatchInput(const InputRecord&) {}

void xAppWindow::QueueInput(const InputRecord&) {}
