#include "LauncherMain.h"
#include "CommandLine.h"
#include "LogBasePath.h"
#include "ProductProfile.h"

#include "Installer.h"
#include "PackageWorkerThread.h"
#include "PublishDir.h"
#include "ResPack.h"

#include "xEngineContext.h"
#include "xLogLine.h"
#include "xPlatformStartup.h"
#include "xProcessSetup.h"
#include "xSystemPaths.h"

#include <chrono>
#include <thread>

namespace
{
// The frame loop's pace: about a hundred turns a second.
constexpr std::chrono::milliseconds FrameSleep(9);

[[noreturn]] void FrameLoop()
{
    for (;;)
    {
        DrainThreadMessages();
        std::this_thread::sleep_for(FrameSleep);
    }
}
} // namespace

void LauncherMain(void* instance)
{
    (void)instance;
    TheProfile.OnStartup();
    EnableDpiAwareness();

    GEngineContext = new xEngineContext();
    GEngineContext->LogBasePath =
        ChooseLogBasePath(GetModuleDirectory(), GetAppDataDirectory(), TheProfile.AppDataSubfolder());
    GEngineContext->LogSingleFile = 1;
    GEngineContext->LogFileDisabled = 0;
    PlatformStartup();
    LogLine("Launcher started: %s", xString(GetModulePath()).c_str());

    InitialiseComForThisThread();
    TheProfile.OnBeforeCommandLine();
    // A login on the command line asks for the client update; it starts once
    // this process is known to stay (the installation may hand over).
    ThePackageWorker().Hold();
    ParseCommandLine();

    if (TheProfile.SupportsInstall())
        InstallLauncher(InstallSettingsForThisProcess(TheProfile.AppDataSubfolder(), TheProfile.ProductCode(),
                                                      TheProfile.GameTitle()));
    PublishDir();
    ThePackageWorker().Release();

    TheResPack().Load();

    FrameLoop();
}
