#include "PackageUpdate.h"
#include "LaunchState.h"
#include "ProductProfile.h"

#include "PackageProgress.h"
#include "PackageWorker.h"
#include "PackageWorkerThread.h"
#include "LauncherDownload.h"
#include "UpdateSignature.h"
#include "VersionFile.h"

#include "xLogLine.h"
#include "xTextConversion.h"

#include <thread>

xWString CurrentVersion;
xString PackageStem;

namespace
{
VersionResolutionPolicy ResolutionPolicy;

// No update starts for this login. The worker never ran, so the state is set
// here; an update already running for an earlier login keeps its own.
bool NotStarted()
{
    if (!ThePackageWorker().IsBusy())
        PackageUpdateState = PackageUpdateFailed;
    return false;
}
} // namespace

void SetVersionResolutionPolicy(const VersionResolutionPolicy& policy)
{
    ResolutionPolicy = policy;
}

VersionResolutionPolicy GetVersionResolutionPolicy()
{
    return ResolutionPolicy;
}

xWString ResolveClientVersion(const xString& clientBaseUrl, const xString& sid)
{
    const xString url = clientBaseUrl + "ClientVersionSID.txt";
    const VersionResolutionPolicy policy = ResolutionPolicy;
    for (int round = 1; round <= policy.Rounds; ++round)
    {
        if (round > 1)
            std::this_thread::sleep_for(GrowingPause(policy.FirstPause, policy.LongestPause, round - 1));
        xString text;
        FetchSignedText(url, text);
        LogLine("check ClientVersionSID.txt return %s", text.c_str());
        const xWString version = Utf8ToWide(ChooseClientVersion(text, sid));
        if (version.IsEmpty())
            continue;
        LogLine("CurrentVersion: %s", xString(version).c_str());
        return version;
    }
    LogErrorLine("No client version from %s after %d tries; the client is not updated", url.c_str(),
                 policy.Rounds);
    return {};
}

bool StartPackageUpdate(const xWString& requestedVersion)
{
    return StartPackageUpdateFor(requestedVersion, TheProfile, TheLaunchState);
}

bool StartPackageUpdateFor(const xWString& requestedVersion, const ProductProfile& profile,
                           const LaunchState& launch)
{
    CurrentVersion = xWString();
    if (!requestedVersion.IsEmpty())
        CurrentVersion = requestedVersion;
    else if (launch.ForceVersion.IsEmpty())
        CurrentVersion = ResolveClientVersion(profile.ClientBaseUrl(), profile.SidString);
    if (!launch.ForceVersion.IsEmpty())
        CurrentVersion = launch.ForceVersion;
    LogLine("Download Version: %s", xString(launch.ForceVersion).c_str());
    if (CurrentVersion.IsEmpty())
        return NotStarted();

    PackageStem = PackageNamePrefix + WideToUtf8(CurrentVersion);
    // The names become files in the launcher's folder.
    if (!IsPlainFileName(PackageStem + ".pkg"))
    {
        LogErrorLine("Client version \"%s\" cannot name a package; the client is not updated",
                     xString(CurrentVersion).c_str());
        return NotStarted();
    }
    PackageBaseUrl = profile.ClientBaseUrl();
    PackageJob job;
    job.BaseUrl = PackageBaseUrl;
    job.PackageName = PackageStem + ".pkg";
    job.ManifestName = PackageStem + ".crc";
    job.LocalMode = launch.LocalMode;
    const PackageWorkerThread::Outcome outcome = ThePackageWorker().Run(job);
    return outcome == PackageWorkerThread::Outcome::Started ||
           outcome == PackageWorkerThread::Outcome::Queued;
}
