#pragma once

#include <cstdint>
#include <string>

// What the launcher hands the game on its command line:
//   "<path>\RWGame.exe" <view handle as unsigned decimal> <login text> [--ignore-close]
// The login text is the rest of the line (the launcher does not quote it).
// The demo's own switches, never sent by the launcher: `--ignore-close` as the
// last word makes the game ignore WM_CLOSE, as a game that hangs would;
// `--window` in place of the handle makes it open a view of its own, to watch
// it without a launcher.
struct GameArguments
{
    uint64_t ViewHandle = 0;
    bool OwnView = false;
    std::wstring Login;
    bool IgnoreClose = false;
};

constexpr const wchar_t* IgnoreCloseSwitch = L"--ignore-close";
constexpr const wchar_t* OwnViewSwitch = L"--window";

// Reads a whole command line, program name included. Returns an empty text when
// it holds a view handle and a login text, else what is wrong with it.
std::wstring ParseGameCommandLine(const std::wstring& commandLine, GameArguments& arguments);
