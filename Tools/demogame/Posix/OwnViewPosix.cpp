#include "OwnView.h"

#include "GameMessages.h"

#include <X11/Xutil.h>

Window CreateOwnView(Display* display)
{
    const int screen = DefaultScreen(display);
    constexpr unsigned Width = 1280;
    constexpr unsigned Height = 720;
    const int left = (DisplayWidth(display, screen) - static_cast<int>(Width)) / 2;
    const int top = (DisplayHeight(display, screen) - static_cast<int>(Height)) / 2;
    const Window view = XCreateSimpleWindow(display, RootWindow(display, screen), left, top, Width, Height, 0,
                                            BlackPixel(display, screen), BlackPixel(display, screen));
    if (view == 0)
        return 0;
    XStoreName(display, view, "3dWin");
    Atom deleteWindow = XInternAtom(display, "WM_DELETE_WINDOW", False);
    XSetWMProtocols(display, view, &deleteWindow, 1);
    XMapWindow(display, view);
    XFlush(display);
    return view;
}

void HandleOwnViewEvent(Display* display, Window view, const XEvent& event)
{
    if (event.type != ClientMessage || event.xclient.window != view)
        return;
    const Atom type = event.xclient.message_type;
    const long first = event.xclient.data.l[0];
    // What the launcher's frame does on the game's request.
    const bool closeFrame =
        type == XInternAtom(display, GameMessageAtom, False) && first == static_cast<long>(GameMsgCloseFrame);
    const bool closeBox = type == XInternAtom(display, "WM_PROTOCOLS", False) &&
                          static_cast<Atom>(first) == XInternAtom(display, "WM_DELETE_WINDOW", False);
    if (closeFrame || closeBox)
    {
        XDestroyWindow(display, view);
        XFlush(display);
    }
}
