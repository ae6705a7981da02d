#pragma once

// The launcher's entry, called by the platform entry point with the module
// instance handle (null where there is none). Never returns: the process ends
// by termination from elsewhere.
[[noreturn]] void LauncherMain(void* instance);

class xAppWindow;
// The process's windows; null until the start-up has made them.
extern xAppWindow* ApplicationWindow;
