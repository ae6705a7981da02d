#include "LauncherMain.h"
#include "CommandLine.h"
#include "LaunchState.h"
#include "LogBasePath.h"
#include "ProductProfile.h"
#include "Shortcuts.h"
#include "SkinEventRouter.h"
#include "MainFrame.h"

#include "Installer.h"
#include "PackageWorkerThread.h"
#include "PublishDir.h"
#include "ResPack.h"

#include "xAppWindow.h"
#include "xEngineContext.h"
#include "xLogLine.h"
#include "xPlatformStartup.h"
#include "xPlatformTime.h"
#include "xProcessSetup.h"
#include "xSystemPaths.h"

#include <chrono>
#include <thread>

xAppWindow* ApplicationWindow = nullptr;

namespace
{
// The frame loop's pace: about a hundred turns a second.
constexpr std::chrono::milliseconds FrameSleep(9);

[[noreturn]] void MainLoop()
{
    double previous = xPlatformTime::Seconds();
    for (;;)
    {
        const double now = xPlatformTime::Seconds();
        const float elapsed = static_cast<float>(now - previous);
        previous = now;
        DrainThreadMessages();
        ApplicationWindow->PollModifierKeys();
        ApplicationWindow->ProcessInput();
        if (CurrentMainFrame != nullptr)
            CurrentMainFrame->FrameTick(elapsed);
        std::this_thread::sleep_for(FrameSleep);
    }
}
} // namespace

void LauncherMain(void* instance)
{
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

    if (TheProfile.CreatesShortcuts())
    {
        RefreshGameShortcut();
        if (!TheLaunchState.ClientInstall)
            PinGameShortcut();
    }

    TheResPack().Load();
    if (TheProfile.CreatesShortcuts() && TheProfile.CreatesDesktopShortcut() && !TheLaunchState.ClientInstall)
        CreateWebShortcut();

    ApplicationWindow = new xAppWindow(instance);
    GEngineContext->AppWindow = ApplicationWindow;
    // The entry never returns, so the router lives as long as the windows.
    static SkinEventRouter router;
    ApplicationWindow->SetListener(&router);

    // The main frame makes the splash screen; both live as long as the process.
    MainFrame* frame = new MainFrame(*ApplicationWindow);
    frame->Load(u"MainFrame");
    frame->Show();
    frame->Centre();
    MainLoop();
}
