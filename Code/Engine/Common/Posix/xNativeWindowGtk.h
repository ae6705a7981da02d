#pragma once

#include <cairo.h>

// What the GTK window layer shares between its files.
struct xNativeWindowGtk
{
    // The context of the window being drawn (its "draw" signal), else null:
    // xNativeWindow::Paint puts its picture there.
    static cairo_t* DrawingContext;
};
