#include "LauncherMain.h"

int main()
{
    // The command line is read again from the system.
    LauncherMain(nullptr);
}
