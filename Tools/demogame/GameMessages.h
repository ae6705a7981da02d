#pragma once

#include <cstdint>

// The private messages the game sends the launcher's game view. Their numbers
// are fixed on both sides: the launcher acts on exactly these. On Windows they
// are window messages posted to the view; natively X11 client messages sent to
// the view's window, of type GameMessageAtom (format 32): data.l[0] the
// message, data.l[1] and data.l[2] the low and high words of its handle.
constexpr uint32_t GameMsgMainWindow = 0x0400 + 190; // the game's main window (wParam / data.l[1..2])
constexpr uint32_t GameMsgCloseFrame = 0x0400 + 191; // the game asks the launcher to close its frame
constexpr uint32_t GameMsgCanClose = 0x0400 + 192;   // the game ends on a close request to its main window

constexpr const char* GameMessageAtom = "_LAUNCHER_GAME_MESSAGE";
