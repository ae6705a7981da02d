#include "LaunchState.h"

LaunchState TheLaunchState;

void LaunchState::Clear()
{
    LocalMode = false;
    ClientInstall = false;
    Verify = false;
    ForceVersion = xWString();
    UidString = xString();
    LaunchValues.clear();
    LaunchParamParsed = false;
    CommandLineHandled = false;
    SelfUpdateRunning = false;
    NewLauncherVersion = -1;
}
