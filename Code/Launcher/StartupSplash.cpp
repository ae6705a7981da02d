#include "StartupSplash.h"

#include "LaunchProgress.h"
#include "LaunchState.h"
#include "PackageProgress.h"
#include "PackageUpdate.h"
#include "ProductProfile.h"

#include "xLogLine.h"
#include "xPlatformTime.h"

StartupSplash::StartupSplash(xAppWindow& app)
    : Screen(app, TheProfile.GameTitle(), [this] { return ReadInputs(); })
{
    Screen.Load(u"SplashScreen");
    // Only a login starts an update; without one there is nothing to show yet.
    if (TheProfile.LaunchParam.IsEmpty() && !TheLaunchState.LocalMode)
        return;
    Screen.Show();
    Screen.Centre();
}

void StartupSplash::FrameTick(float seconds)
{
    if (Retry.Tick(xPlatformTime::Seconds(), PackageUpdateState))
        TryUpdateAgain();
    Screen.FrameTick(seconds);
}

SplashInputs StartupSplash::ReadInputs() const
{
    SplashInputs inputs;
    inputs.State = PackageUpdateState;
    inputs.LocalMode = TheLaunchState.LocalMode;
    inputs.Busy = IsBusy(false, inputs.LocalMode, inputs.State);
    inputs.Progress = OverallProgress(0, 0, PackageBytesReceived, PackageBytesNeeded);
    inputs.SelfUpdate = TheLaunchState.SelfUpdateRunning;
    inputs.RetrySeconds = Retry.SecondsLeft(xPlatformTime::Seconds());
    return inputs;
}

void StartupSplash::TryUpdateAgain()
{
    LogLine("Trying the client update again");
    if (!CurrentVersion.IsEmpty())
    {
        // A copy: the update clears CurrentVersion before it reads the request.
        const xWString version = CurrentVersion;
        StartPackageUpdate(version);
        return;
    }
    // The version is asked for once: the frame loop waits for the answer, and
    // the next failure brings the next try.
    const VersionResolutionPolicy usual = GetVersionResolutionPolicy();
    VersionResolutionPolicy once = usual;
    once.Rounds = 1;
    SetVersionResolutionPolicy(once);
    StartPackageUpdate(xWString());
    SetVersionResolutionPolicy(usual);
}
