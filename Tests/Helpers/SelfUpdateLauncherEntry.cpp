// The real launcher for the self-update tests under Wine: the product's start-up
// with the two test hooks of the hand-over set from the environment, so a test
// serves the builds from its own server on a free port and can end a process
// at a chosen point. Built only with the tests; the product's entry never sets
// the hooks.
//   LAUNCHER_TEST_UPDATE_BASE_URL  where LauncherVersion.txt and the builds lie
//   LAUNCHER_TEST_STOP_AT          a hand-over point at which the process logs
//                                  "Stopped at <point>" and waits to be killed
#include "LauncherMain.h"
#include "SelfUpdate.h"

#include "xLogLine.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace
{
void StopAtChosenPoint(const char* point)
{
    const char* chosen = std::getenv("LAUNCHER_TEST_STOP_AT");
    if (chosen == nullptr || std::strcmp(chosen, point) != 0)
        return;
    LogLine("Stopped at %s", point);
    for (;;)
        Sleep(1000);
}
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int)
{
    const char* baseUrl = std::getenv("LAUNCHER_TEST_UPDATE_BASE_URL");
    SetSelfUpdateTestHooks(baseUrl != nullptr ? baseUrl : "", StopAtChosenPoint);
    LauncherMain(instance);
}
