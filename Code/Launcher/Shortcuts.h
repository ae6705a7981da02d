#pragma once

#include "xString.h"

#include <cstdint>

// At every start the launcher makes sure the player finds it again: a desktop
// link to its own executable, that link pinned to the taskbar where Windows
// lets a program pin, and a desktop link to the game's home page. Failures are
// silent; start-up goes on. Main thread, during start-up.

// desktop folder + "\" + name + ".lnk"; empty (no link) when either is empty.
xWString ShortcutLinkPath(const xWString& desktopFolder, const xWString& name);
// Only Windows 7 and 8 (6.1 to 6.3) take the shell's pin verb from a program;
// Windows 10 refuses it and earlier systems have no pins.
bool TaskbarPinApplies(uint32_t major, uint32_t minor);

// The game link's path on the desktop; computed once, then kept.
xWString GameShortcutPath();
// Rewrites the game link to the running executable; true when it was saved.
bool RefreshGameShortcut();
void PinGameShortcut();
// The home-page link, unless the product names none or the link is already there.
void CreateWebShortcut();
// A link to `target` with a description and the pack's "game.ico" (written to the
// launcher's folder) as its icon.
void CreateShortcut(const xWString& linkPath, const xWString& target, const xWString& description);

// The platform's side (Windows: the shell's COM objects; elsewhere no links).
// The user's desktop folder (CSIDL_DESKTOPDIRECTORY); empty when unknown.
xWString QueryDesktopFolder();
// Saves a shell link to `target`; an empty description or icon path sets none.
// False when the link object could not be made or saved.
bool SaveShellLink(const xWString& linkPath, const xWString& target, const xWString& description,
                   const xWString& iconPath);
// Runs the shell's "taskbarpin" verb on a file.
void PinToTaskbar(const xWString& path);
// The running system's version; false when it cannot be told.
bool QuerySystemVersion(uint32_t& major, uint32_t& minor);
