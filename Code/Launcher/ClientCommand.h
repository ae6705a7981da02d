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
