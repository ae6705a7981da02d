#pragma once

#include "xString.h"
#include "xWindowRules.h"

#include <cstdint>

// The game frame's numbers as plain values: where the game's view sits, what
// each point of the frame does under the pointer, the close request's timing
// and the game's command line.

// The frame pictures' sizes that shape the frame: the title band, the bottom
// border and each side border.
struct GameFrameSizes
{
    int32_t TopHeight = 0;
    int32_t BottomHeight = 0;
    int32_t SideWidth = 0;
};

// The view's area relative to a `width` x `height` frame: inside the borders,
// or below the title band across the whole width while maximised.
xWindowRect GameContentRect(int32_t width, int32_t height, bool maximized, const GameFrameSizes& sizes);

// The zone under (x, y) (relative to the frame's top-left): a visible button
// is client; the 8-pixel resize borders and the title band's caption exist
// only while not maximised; the view's area is nowhere (the view covers it).
WindowZone GameWindowHitTest(int32_t x, int32_t y, int32_t width, int32_t height, bool maximized,
                             bool overButton, const GameFrameSizes& sizes);

// Where "restore" puts the frame once it is maximised: the frame's own
// rectangle when it is on screen at its own size; a minimised frame's rectangle
// lies far off screen and an already maximised one covers the work area, so
// either keeps the place remembered before.
xWindowRect RestoreRectForMaximize(const xWindowRect& remembered, const xWindowRect& current, bool minimized,
                                   bool maximized);

// A close press asks the game to close; a press 5 to 10 seconds after the
// first forces the frame closed; after 10 seconds a press starts a new wait.
class CloseRequestTimer
{
public:
    enum class Action
    {
        Wait,  // the game was asked; nothing else yet
        Force, // close the frame whatever the game does
    };
    Action Press(double now);

private:
    double FirstPress = 0.0;
};

// "<view handle in decimal> <game arguments>".
xWString GameProcessArguments(uint64_t viewHandle, const xWString& gameArguments);
// The game inside the publish folder (which ends in a separator).
xWString GameExecutablePath(const xWString& publishFolder);

// The game's process: its own executable, or a runner the operator names with
// the quoted game first (a Windows game under Wine natively).
struct GameCommand
{
    xWString Program;
    xWString Arguments;
};
GameCommand GameProcessCommand(const xWString& runner, const xWString& executable, const xWString& arguments);
