#pragma once

#include <windows.h>

// The private messages the game posts to the launcher's game view. Their numbers
// are fixed on both sides: the launcher acts on exactly these.
constexpr UINT GameMsgMainWindow = WM_USER + 190; // wParam: the game's main window
constexpr UINT GameMsgCloseFrame = WM_USER + 191; // the game asks the launcher to close its frame
constexpr UINT GameMsgCanClose = WM_USER + 192;   // the game ends on WM_CLOSE to its main window
