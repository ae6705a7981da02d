#pragma once

#include <windows.h>

// A window in the launcher's place for `--window`: titled "3dWin" like the
// launcher's game view, resizable, closed by its close box or by the game's
// GameMsgCloseFrame (Escape). Null when it cannot be created.
HWND CreateOwnView(HINSTANCE instance);
