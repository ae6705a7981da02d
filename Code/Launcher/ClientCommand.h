#pragma once

#include "xString.h"

#include <cstdint>
#include <vector>

// A call of the login page's script bridge, as the main frame reads it: the
// list arrives with the page's last argument first, so the command comes
// first and, when there are exactly two, its parameter second.
struct ClientCommand
{
    xWString Command;
    xWString Parameter;
    // The command is "login" (compared as the command line's options are).
    bool IsLogin = false;
};
ClientCommand ReadClientCommand(const std::vector<xWString>& arguments);

// Why a login must wait, or null when it may start the update now: one update
// and one game at a time.
const char* LoginRefusal(bool gameRunning, int32_t updateState);

// What a main frame button does, by its ID (compared without regard to ASCII
// case): "clear" cleans the cache; the link buttons and any other name open the
// profile's link of that name (the profile ignores names it does not know).
enum class MainFrameAction
{
    ConfirmExit,
    Minimize,
    CleanCache,
    OpenLink,
};
MainFrameAction ChooseMainFrameAction(const xString& buttonId);
