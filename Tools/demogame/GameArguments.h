#pragma once

#include <cstdint>
#include <string>

// What the launcher hands the game on its command line:
//   "<path>\RWGame.exe" <view handle as unsigned decimal> <login text> [--ignore-close]
// The login text is the rest of the line (the launcher does not quote it);
// `--ignore-close` as its last word is the demo's own switch, never sent by the
// launcher: the game then ignores WM_CLOSE, as a game that hangs would.
struct GameArguments
{
    uint64_t ViewHandle = 0;
    std::wstring Login;
    bool IgnoreClose = false;
};

// The switch that makes the game ignore WM_CLOSE.
constexpr const wchar_t* IgnoreCloseSwitch = L"--ignore-close";

// Reads a whole command line, program name included. Returns an empty text when
// it holds a view handle and a login text, else what is wrong with it.
std::wstring ParseGameCommandLine(const std::wstring& commandLine, GameArguments& arguments);
