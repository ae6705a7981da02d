#include "DemoGameWindow.h"

#include "GameMessages.h"
#include "SceneCanvasCairo.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>

#include <algorithm>
#include <utility>

namespace
{
const char WindowTitle[] = "霜石纪元";

Atom AtomOf(Display* display, const char* name)
{
    return XInternAtom(display, name, False);
}
} // namespace

void SendGameMessage(Display* display, Window view, uint32_t message, uint64_t handle)
{
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = view;
    event.xclient.message_type = AtomOf(display, GameMessageAtom);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(message);
    event.xclient.data.l[1] = static_cast<long>(handle & 0xFFFFFFFFu);
    event.xclient.data.l[2] = static_cast<long>(handle >> 32);
    // No event mask: the event goes to the client that made the view, the launcher.
    XSendEvent(display, view, False, NoEventMask, &event);
    XFlush(display);
}

bool WindowExists(Display* display, Window window)
{
    XWindowAttributes attributes;
    return window != 0 && XGetWindowAttributes(display, window, &attributes) != 0;
}

DemoGameWindow::DemoGameWindow(Display* display, Window view, std::wstring login, bool ignoreClose)
    : Dpy(display), View(view), IgnoreClose(ignoreClose), Scene(std::move(login))
{
}

DemoGameWindow::~DemoGameWindow()
{
    if (Picture != nullptr)
        cairo_surface_destroy(Picture);
    if (Gc != nullptr)
        XFreeGC(Dpy, Gc);
    if (Own != 0)
        XDestroyWindow(Dpy, Own);
    XFlush(Dpy);
}

bool DemoGameWindow::Create()
{
    XWindowAttributes view;
    // The frame goes over as the pixels of a 24- or 32-bit TrueColor visual, cairo's own layout.
    if (XGetWindowAttributes(Dpy, View, &view) == 0 || view.visual->c_class != TrueColor ||
        (view.depth != 24 && view.depth != 32))
        return false;
    // The view's own visual, so the window fits a translucent frame as well.
    XSetWindowAttributes attributes{};
    attributes.colormap = view.colormap;
    attributes.border_pixel = 0;
    attributes.background_pixel = view.depth == 32 ? 0xFF000000ul : 0ul;
    attributes.event_mask = ExposureMask | KeyPressMask | ButtonPressMask | StructureNotifyMask;
    Own = XCreateWindow(Dpy, View, 0, 0, static_cast<unsigned>(std::max(view.width, 1)),
                        static_cast<unsigned>(std::max(view.height, 1)), 0, view.depth, InputOutput,
                        view.visual, CWColormap | CWBorderPixel | CWBackPixel | CWEventMask, &attributes);
    if (Own == 0)
        return false;
    OwnVisual = view.visual;
    Depth = view.depth;
    Width = view.width;
    Height = view.height;
    Xutf8SetWMProperties(Dpy, Own, WindowTitle, WindowTitle, nullptr, 0, nullptr, nullptr, nullptr);
    Atom deleteWindow = AtomOf(Dpy, "WM_DELETE_WINDOW");
    XSetWMProtocols(Dpy, Own, &deleteWindow, 1);
    XMapWindow(Dpy, Own);
    Gc = XCreateGC(Dpy, Own, 0, nullptr);
    SendGameMessage(Dpy, View, GameMsgMainWindow, Own);
    SendGameMessage(Dpy, View, GameMsgCanClose, 0);
    // The keyboard, as the game takes it on Windows (refused while the view is hidden).
    XSetInputFocus(Dpy, Own, RevertToParent, CurrentTime);
    return true;
}

void DemoGameWindow::HandleEvent(const XEvent& event)
{
    if (Own == 0 || event.xany.window != Own)
        return;
    switch (event.type)
    {
    case ButtonPress:
        XSetInputFocus(Dpy, Own, RevertToParent, CurrentTime);
        break;
    case KeyPress:
    {
        XKeyEvent key = event.xkey;
        if (XLookupKeysym(&key, 0) == XK_Escape)
            SendGameMessage(Dpy, View, GameMsgCloseFrame, 0);
        break;
    }
    case ClientMessage:
        // The launcher's close button, as a window manager's close request: a
        // game started with --ignore-close stays, so the launcher's second
        // press has something to force.
        if (event.xclient.message_type == AtomOf(Dpy, "WM_PROTOCOLS") &&
            static_cast<Atom>(event.xclient.data.l[0]) == AtomOf(Dpy, "WM_DELETE_WINDOW") && !IgnoreClose)
        {
            XDestroyWindow(Dpy, Own);
            XFlush(Dpy);
        }
        break;
    case DestroyNotify:
        // Also when the launcher destroys the view and this child with it.
        Own = 0;
        break;
    default:
        break;
    }
}

bool DemoGameWindow::Frame(double seconds)
{
    if (Own == 0 || !WindowExists(Dpy, View))
        return false;
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (XGetGeometry(Dpy, View, &root, &x, &y, &width, &height, &border, &depth) == 0)
        return false;
    if (static_cast<int>(width) != Width || static_cast<int>(height) != Height)
    {
        Width = static_cast<int>(width);
        Height = static_cast<int>(height);
        XResizeWindow(Dpy, Own, width, height);
    }
    Scene.Advance(seconds);
    Paint();
    return true;
}

void DemoGameWindow::Paint()
{
    // The whole frame drawn in memory first, then onto the window at once: no flicker.
    if (Picture == nullptr || cairo_image_surface_get_width(Picture) != Width ||
        cairo_image_surface_get_height(Picture) != Height)
    {
        if (Picture != nullptr)
            cairo_surface_destroy(Picture);
        Picture =
            cairo_image_surface_create(Depth == 32 ? CAIRO_FORMAT_ARGB32 : CAIRO_FORMAT_RGB24, Width, Height);
    }
    if (cairo_surface_status(Picture) != CAIRO_STATUS_SUCCESS)
        return;
    cairo_t* context = cairo_create(Picture);
    SceneCanvasCairo canvas(context);
    Scene.Paint(canvas, Width, Height);
    cairo_destroy(context);
    cairo_surface_flush(Picture);
    XImage* image = XCreateImage(Dpy, OwnVisual, static_cast<unsigned>(Depth), ZPixmap, 0,
                                 reinterpret_cast<char*>(cairo_image_surface_get_data(Picture)),
                                 static_cast<unsigned>(Width), static_cast<unsigned>(Height), 32,
                                 cairo_image_surface_get_stride(Picture));
    if (image == nullptr)
        return;
    XPutImage(Dpy, Own, Gc, image, 0, 0, 0, 0, static_cast<unsigned>(Width), static_cast<unsigned>(Height));
    // The pixels are cairo's.
    image->data = nullptr;
    XDestroyImage(image);
    XFlush(Dpy);
}
