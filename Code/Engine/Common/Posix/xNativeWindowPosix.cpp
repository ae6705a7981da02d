#include "xNativeWindow.h"

#include "xAppWindow.h"
#include "xCanvasCairo.h"
#include "xNativeWindowGtk.h"

#include <gtk/gtk.h>

#include <algorithm>
#include <cmath>

// A GTK top-level window: undecorated unless the description asks for the
// system's frame, with an RGBA visual when it is translucent, so that the
// skin's per-pixel alpha reaches the compositor.

namespace
{
GtkWindow* GtkOf(const xNativeWindow& window)
{
    return GTK_WINDOW(window.Handle());
}

GdkWindow* GdkOf(const xNativeWindow& window)
{
    return window.Handle() != nullptr ? gtk_widget_get_window(GTK_WIDGET(window.Handle())) : nullptr;
}

// The rounded rectangle as rows of rectangles (cairo regions have no curves).
cairo_region_t* RoundedRegion(const xWindowRect& rect, int32_t ellipse)
{
    cairo_region_t* region = cairo_region_create();
    const double radius = ellipse / 2.0;
    for (int32_t y = rect.Top; y < rect.Bottom; ++y)
    {
        const double fromEdge = std::min(y - rect.Top, rect.Bottom - 1 - y) + 0.5;
        const double dy = fromEdge < radius ? radius - fromEdge : 0.0;
        const int32_t inset =
            static_cast<int32_t>(std::lround(radius - std::sqrt(radius * radius - dy * dy)));
        const cairo_rectangle_int_t row{rect.Left + inset, y, rect.Right - rect.Left - 2 * inset, 1};
        if (row.width > 0)
            cairo_region_union_rectangle(region, &row);
    }
    return region;
}
} // namespace

cairo_t* xNativeWindowGtk::DrawingContext = nullptr;

xNativeWindow::xNativeWindow(xAppWindow& owner, const WindowDescription& description)
    : WindowDesc(description), OwnerWindow(&owner)
{
}

void xNativeWindow::SetClientRect(int32_t x, int32_t y, int32_t width, int32_t height)
{
    if (Handle() == nullptr)
        return;
    gtk_window_move(GtkOf(*this), x, y);
    // The default size rules before the window is first shown, the resize after.
    gtk_window_set_default_size(GtkOf(*this), std::max(width, 1), std::max(height, 1));
    gtk_window_resize(GtkOf(*this), std::max(width, 1), std::max(height, 1));
    if (width != OuterWidth || height != OuterHeight)
        SetRegionSize(width, height);
    OuterWidth = width;
    OuterHeight = height;
}

void xNativeWindow::SetRegionSize(int32_t width, int32_t height)
{
    RegionW = width;
    RegionH = height;
    GdkWindow* gdk = GdkOf(*this);
    if (gdk == nullptr)
        return;
    cairo_region_t* region = static_cast<cairo_region_t*>(BuildRegion());
    gdk_window_shape_combine_region(gdk, region, 0, 0);
    gdk_window_input_shape_combine_region(gdk, region, 0, 0);
    cairo_region_destroy(region);
}

void* xNativeWindow::BuildRegion() const
{
    const bool maximised =
        GdkOf(*this) != nullptr && (gdk_window_get_state(GdkOf(*this)) & GDK_WINDOW_STATE_MAXIMIZED) != 0;
    const xWindowRegion shape =
        ChooseWindowRegion(WindowDesc, RegionW, RegionH, OuterWidth, OuterHeight, maximised, 0);
    if (shape.Ellipse > 0)
        return RoundedRegion(shape.Rect, shape.Ellipse);
    const cairo_rectangle_int_t rect{shape.Rect.Left, shape.Rect.Top, shape.Rect.Right - shape.Rect.Left,
                                     shape.Rect.Bottom - shape.Rect.Top};
    return cairo_region_create_rectangle(&rect);
}

void xNativeWindow::BringToFront(bool activate)
{
    if (Handle() == nullptr)
        return;
    if (activate)
        gtk_window_present(GtkOf(*this));
    else if (GdkOf(*this) != nullptr)
        gdk_window_raise(GdkOf(*this));
}

void xNativeWindow::MakeForeground()
{
    if (Handle() != nullptr)
        gtk_window_present(GtkOf(*this));
}

void xNativeWindow::CentreOnMonitor()
{
    if (Handle() == nullptr)
        return;
    const xWindowPoint corner = CentreInWorkArea(MonitorWorkArea(), OuterWidth, OuterHeight);
    gtk_window_move(GtkOf(*this), corner.X, corner.Y);
}

// The compositor decides alone here; nothing to drop.
void xNativeWindow::DropComposited() {}

namespace
{
// The listener's size limits as the window's geometry hints, as Windows asks
// for them before each sizing: the user's sizing and maximising stay inside.
void ApplySizeHints(xNativeWindow& window)
{
    // Only a window the player can size has limits, as only a sizing frame has them on Windows.
    xWindowSizeLimits limits;
    if (!gtk_window_get_resizable(GtkOf(window)) || !window.Owner().Listener().GetSizeLimits(&window, limits))
        return;
    xWindowMinMax proposed{};
    proposed.MinTrackSize = {1, 1};
    const xWindowMinMax applied = ApplySizeLimits(proposed, limits);
    GdkGeometry geometry{};
    geometry.min_width = applied.MinTrackSize.X;
    geometry.min_height = applied.MinTrackSize.Y;
    geometry.max_width = std::max(applied.MaxTrackSize.X, applied.MinTrackSize.X);
    geometry.max_height = std::max(applied.MaxTrackSize.Y, applied.MinTrackSize.Y);
    gtk_window_set_geometry_hints(GtkOf(window), nullptr, &geometry,
                                  static_cast<GdkWindowHints>(GDK_HINT_MIN_SIZE | GDK_HINT_MAX_SIZE));
}
} // namespace

void xNativeWindow::Show()
{
    if (Handle() == nullptr)
        return;
    ApplySizeHints(*this);
    gtk_widget_show(GTK_WIDGET(Handle()));
    SetRegionSize(RegionW > 0 ? RegionW : OuterWidth, RegionH > 0 ? RegionH : OuterHeight);
}

void xNativeWindow::Hide()
{
    if (Handle() != nullptr)
        gtk_widget_hide(GTK_WIDGET(Handle()));
}

void xNativeWindow::Minimize()
{
    if (Handle() != nullptr)
        gtk_window_iconify(GtkOf(*this));
}

void xNativeWindow::Maximize()
{
    if (Handle() != nullptr)
        gtk_window_maximize(GtkOf(*this));
}

void xNativeWindow::Restore()
{
    if (Handle() == nullptr)
        return;
    gtk_window_deiconify(GtkOf(*this));
    gtk_window_unmaximize(GtkOf(*this));
}

bool xNativeWindow::IsMinimized() const
{
    return GdkOf(*this) != nullptr && (gdk_window_get_state(GdkOf(*this)) & GDK_WINDOW_STATE_ICONIFIED) != 0;
}

void xNativeWindow::Invalidate(bool)
{
    if (Handle() != nullptr)
        gtk_widget_queue_draw(GTK_WIDGET(Handle()));
}

void xNativeWindow::MakeLayered()
{
    if (Handle() != nullptr && WindowDesc.Transparency == 1)
        gtk_widget_set_opacity(GTK_WIDGET(Handle()), WindowDesc.Opacity);
}

xWindowRect xNativeWindow::ScreenRect() const
{
    if (Handle() == nullptr)
        return {};
    int x = 0, y = 0;
    gtk_window_get_position(GtkOf(*this), &x, &y);
    return {x, y, x + OuterWidth, y + OuterHeight};
}

void xNativeWindow::SetScreenRect(const xWindowRect& rect)
{
    SetClientRect(rect.Left, rect.Top, rect.Right - rect.Left, rect.Bottom - rect.Top);
    Invalidate(false);
}

// GTK paints at the frame clock's next turn, which the frame loop reaches at once.
void xNativeWindow::Update()
{
    Invalidate(false);
}

xWindowRect xNativeWindow::MonitorWorkArea() const
{
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr)
        return {};
    GdkMonitor* monitor = GdkOf(*this) != nullptr ? gdk_display_get_monitor_at_window(display, GdkOf(*this))
                                                  : gdk_display_get_primary_monitor(display);
    if (monitor == nullptr)
        monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr)
        return {};
    GdkRectangle work{};
    gdk_monitor_get_workarea(monitor, &work);
    return {work.x, work.y, work.x + work.width, work.y + work.height};
}

// A press starts GTK's implicit grab: the window keeps the pointer until the release.
void xNativeWindow::CaptureMouse() {}
void xNativeWindow::ReleaseMouse() {}

void xNativeWindow::Paint(const std::function<void(xCanvas&)>& paint)
{
    cairo_t* target = xNativeWindowGtk::DrawingContext;
    if (target == nullptr || OuterWidth <= 0 || OuterHeight <= 0)
    {
        Invalidate(false);
        return;
    }
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, OuterWidth, OuterHeight);
    cairo_t* context = cairo_create(surface);
    xCairoCanvas canvas(context);
    paint(canvas);
    cairo_destroy(context);
    cairo_save(target);
    cairo_set_operator(target, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_surface(target, surface, 0, 0);
    cairo_paint(target);
    cairo_restore(target);
    cairo_surface_destroy(surface);
}

xWindowPoint GetCursorScreenPosition()
{
    GdkDisplay* display = gdk_display_get_default();
    if (display == nullptr)
        return {};
    GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(display));
    int x = 0, y = 0;
    gdk_device_get_position(pointer, nullptr, &x, &y);
    return {x, y};
}
