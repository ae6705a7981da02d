#include "LauncherMain.h"

#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    // The command line is read again from the system as UTF-16.
    LauncherMain(instance);
}
