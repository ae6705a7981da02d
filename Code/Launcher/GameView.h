#pragma once

#include "xProcess.h"
#include "xWindowRules.h"

#include <cstdint>

class xNativeWindow;

// What the game tells its frame, through messages posted to the view.
class GameViewListener
{
public:
    virtual ~GameViewListener() = default;
    // The game's main window (its handle as a number); a later report replaces it.
    virtual void OnGameMainWindow(uint64_t handle) = 0;
    // The game asks for its frame to close.
    virtual void OnGameCloseFrame() = 0;
    // The game will close when it is sent a close request.
    virtual void OnGameCanClose() = 0;
};

// The borderless popup ("3dWin") the game draws into, owned by the game frame
// and kept over the frame's content area. Its handle goes to the game on its
// command line. Natively it is an X11 child window of the frame's window, and
// the game's messages arrive as X11 client messages to it (Posix/GameViewPosix.cpp).
class GameView
{
public:
    // Hidden, at `origin` (screen) in the game's size until the frame places it.
    GameView(xNativeWindow& frame, xWindowPoint origin, GameViewListener& listener);
    ~GameView();
    GameView(const GameView&) = delete;
    GameView& operator=(const GameView&) = delete;

    // The handle as the game's command line gives it; 0 without a window.
    uint64_t HandleValue() const;
    // Moves and sizes it over a screen rectangle (and repaints it).
    void Place(const xWindowRect& screenRect);
    void Show();
    void Hide();
    // Starts the game's `program` with `arguments` for this view; natively the
    // game also finds the view's id in its environment (LAUNCHER_GAME_VIEW), and
    // a program the update wrote without modes becomes executable for its owner.
    xProcessHandle StartGame(const xWString& program, const xWString& arguments) const;

private:
    void* Handle = nullptr;
};

// The messages of the game's side; their values are fixed by the games.
constexpr uint32_t GameMsgMainWindow = 0x0400 + 190;
constexpr uint32_t GameMsgCloseFrame = 0x0400 + 191;
constexpr uint32_t GameMsgCanClose = 0x0400 + 192;

// Whether a window the game reported still exists.
bool IsGameWindowAlive(uint64_t handle);
// Asks the game's main window to close (a posted close request).
void AskGameWindowToClose(uint64_t handle);
// The program the operator has the game run under (natively LAUNCHER_GAME_RUNNER,
// e.g. wine, found on the PATH); empty when the game runs by itself.
xWString GameRunner();
