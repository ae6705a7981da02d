#pragma once

#include "FrostScene.h"

#include <X11/Xlib.h>
#include <cairo.h>

#include <cstdint>
#include <string>

// The game's main window: an X11 child of the launcher's view (another
// client's window) over the whole of it, showing the scene. It follows the
// view's size; the view's hiding and moving carry it along as its child.
class DemoGameWindow
{
public:
    DemoGameWindow(Display* display, Window view, std::wstring login, bool ignoreClose);
    ~DemoGameWindow();
    DemoGameWindow(const DemoGameWindow&) = delete;
    DemoGameWindow& operator=(const DemoGameWindow&) = delete;

    // Creates the window over the whole view and tells the view about it.
    bool Create();
    Window Handle() const { return Own; }
    // One event of the display's queue; those of other windows change nothing.
    void HandleEvent(const XEvent& event);

    // One frame: keeps the window over the view and draws the scene moved on
    // by `seconds`. False once the view or this window is gone.
    bool Frame(double seconds);

private:
    void Paint();

    Display* Dpy;
    Window View;
    bool IgnoreClose;
    Window Own = 0;
    Visual* OwnVisual = nullptr;
    int Depth = 0;
    int Width = 0;
    int Height = 0;
    GC Gc = nullptr;
    // The frame in memory, in the window's size.
    cairo_surface_t* Picture = nullptr;
    FrostScene Scene;
};

// Sends `message` (GameMessages.h) to the view as a client message; `handle` in its data.
void SendGameMessage(Display* display, Window view, uint32_t message, uint64_t handle);
// Whether `window` still exists (a BadWindow answer says it does not).
bool WindowExists(Display* display, Window window);
