#pragma once

#include <X11/Xlib.h>

// A top-level window in the launcher's place for `--window`: titled "3dWin"
// like the launcher's game view, resizable, closed by the window manager's
// close request or by the game's GameMsgCloseFrame (Escape). 0 when it cannot
// be created.
Window CreateOwnView(Display* display);
// What the own view does with one event of the queue: it closes itself on a
// close request or the game's GameMsgCloseFrame; other windows' events change nothing.
void HandleOwnViewEvent(Display* display, Window view, const XEvent& event);
