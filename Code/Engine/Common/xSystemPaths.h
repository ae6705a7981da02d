#pragma once

#include "xString.h"

// Where the program lies and works. Paths use "/" separators; folders end with
// "/". Each fact is computed on first use and cached; a cache that is still
// empty (because the system call failed) is computed again on the next call.
// The caches are filled on the main thread during start-up, before any worker
// reads them, so later reads need no lock.

// The executable's own path; empty when the system cannot tell.
xWString GetModulePath();
// The folder of the executable.
xWString GetModuleDirectory();
// The per-user application-data folder (Linux: the user's configuration folder).
xWString GetAppDataDirectory();
// The system's font folder; empty where there is none to look in (Linux keeps
// fonts in many folders, and the launcher's font is for the Windows game only).
// Not cached: it is asked once per run.
xWString GetSystemFontDirectory();
// Makes the module folder the current directory so that relative paths (the log
// among them) resolve beside the executable. False, and the working-folder cache
// left empty, when the module folder is unknown or cannot be entered.
bool SetWorkingDirectoryToModule();
// The folder SetWorkingDirectoryToModule made current; empty before that.
xWString GetWorkingDirectory();

// The system's answers behind the caches, one implementation per platform.
// Each gives the empty text on failure.
xWString QueryModulePath();
xWString QueryAppDataFolder();
xWString QuerySystemFontFolder();
bool ChangeCurrentDirectory(const xWString& folder);
