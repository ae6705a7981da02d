#include "LauncherMain.h"
#include "CommandLine.h"
#include "DownloadCap.h"
#include "FrameProbe.h"
#include "LaunchState.h"
#include "LogBasePath.h"
#include "ProductProfile.h"
#include "Shortcuts.h"
#include "SkinEventRouter.h"
#include "MainFrame.h"
#include "PackageUpdate.h"
#include "SplashScreen.h"

#include "FontInstall.h"
#include "Installer.h"
#include "PackageWorkerThread.h"
#include "PublishDir.h"
#include "ResPack.h"
#include "SelfUpdate.h"

#include "xAppWindow.h"
#include "xNativeWindow.h"
#include "xEngineContext.h"
#include "xHttp.h"
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
constexpr std::chrono::milliseconds SplashOnlySleep(100);
// Where the loop can wait for the windows' events, it turns at the first one
// or after the longest pause the tick asks for: the splash alone repaints its
// bar every tenth of a second.
constexpr std::chrono::milliseconds SplashOnlyWait(100);

FrameProbe& Probe()
{
    static FrameProbe probe = FrameProbe::FromEnvironment();
    return probe;
}

// Both frame loops: drain the messages, let the window turn input into events,
// tick with the seconds since the last turn, then wait for the next message
// (at most as long as the tick returns) or sleep the pace.
template <typename Tick> [[noreturn]] void RunFrameLoop(Tick tick, std::chrono::milliseconds pause)
{
    FrameProbe& probe = Probe();
    double previous = xPlatformTime::Seconds();
    for (;;)
    {
        const double now = xPlatformTime::Seconds();
        const float elapsed = static_cast<float>(now - previous);
        previous = now;
        DrainThreadMessages();
        ApplicationWindow->PollModifierKeys();
        ApplicationWindow->ProcessInput();
        const std::chrono::milliseconds longest = tick(elapsed);
        probe.Tick(elapsed);
        if (!WaitForThreadMessages(longest))
            std::this_thread::sleep_for(pause);
    }
}

[[noreturn]] void MainLoop()
{
    RunFrameLoop(
        [](float elapsed)
        {
            if (CurrentMainFrame == nullptr)
                return SplashOnlyWait;
            CurrentMainFrame->FrameTick(elapsed);
            xWString login;
            if (Probe().TakeLogin(login))
                CurrentMainFrame->OnInvokeClient({u"login", login});
            return Probe().IsLoginPending() ? SplashOnlyWait : CurrentMainFrame->NextTickWithin();
        },
        FrameSleep);
}

void CreateApplicationWindow(void* instance)
{
    // From the first window on, this thread paints and answers: it never waits
    // on the network (a request from it is refused, loudly).
    xHttpForbidRequestsOnThisThread();
    ApplicationWindow = new xAppWindow(instance);
    GEngineContext->AppWindow = ApplicationWindow;
    // The entry never returns, so the router lives as long as the windows.
    static SkinEventRouter router;
    ApplicationWindow->SetListener(&router);
}

// The game's link on the desktop (and pinned), and the home page's.
void CreateLinks()
{
    if (!TheProfile.CreatesShortcuts())
        return;
    RefreshGameShortcut();
    if (TheLaunchState.ClientInstall)
        return;
    PinGameShortcut();
    if (TheProfile.CreatesDesktopShortcut())
        CreateWebShortcut();
}

SplashInputs ReadSelfUpdateInputs()
{
    SplashInputs inputs;
    inputs.SelfUpdate = true;
    inputs.LauncherBytesReceived = LauncherBytesReceived.load(std::memory_order_relaxed);
    inputs.LauncherFileSize = LauncherFileSize.load(std::memory_order_relaxed);
    inputs.BytesMoved = inputs.LauncherBytesReceived;
    inputs.BytesExpected = inputs.LauncherFileSize;
    return inputs;
}

// While the launcher downloads its new build: the splash screen alone, until
// the download thread ends the process.
[[noreturn]] void SplashOnlyLoop(void* instance)
{
    TheResPack().Load();
    CreateApplicationWindow(instance);
    SplashScreen* splash = new SplashScreen(*ApplicationWindow, TheProfile.GameTitle(), ReadSelfUpdateInputs);
    splash->Load(u"SplashScreen");
    splash->Show();
    splash->Centre();
    RunFrameLoop(
        [](float elapsed)
        {
            if (CurrentSplash != nullptr)
                CurrentSplash->FrameTick(elapsed);
            return SplashOnlyWait;
        },
        SplashOnlySleep);
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
    // Before any download; the command line's "maxrate=" may still change it.
    LoadDownloadCap();
    ParseCommandLine();

    if (TheProfile.SupportsInstall())
        InstallLauncher(InstallSettingsForThisProcess(TheProfile.AppDataSubfolder(), TheProfile.ProductCode(),
                                                      TheProfile.GameTitle()));
    PublishDir();
    ThePackageWorker().Release();
    if (TheLaunchState.SelfUpdateRunning)
        SplashOnlyLoop(instance);

    StartFontInstall(TheUpdateContext(), FontPlacesFor(TheUpdateContext(), TheProfile.ClientBaseUrl()));

    TheResPack().Load();
    CreateApplicationWindow(instance);

    // The main frame makes the splash screen; both live as long as the process.
    MainFrame* frame = new MainFrame(*ApplicationWindow);
    frame->Load(u"MainFrame");
    frame->Show();
    frame->Centre();
    // The player sees the frame before the desktop's links are written.
    if (frame->NativeWindow() != nullptr)
        frame->NativeWindow()->Update();
    CreateLinks();
    MainLoop();
}
