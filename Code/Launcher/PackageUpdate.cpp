#include "PackageUpdate.h"
#include "LaunchState.h"
#include "ProductProfile.h"

#include "LauncherDownload.h"
#include "LauncherFiles.h"
#include "PackageWorker.h"
#include "PackageWorkerThread.h"
#include "SignedVersionFile.h"
#include "UpdateSignature.h"
#include "VersionFile.h"

#include "xLogLine.h"
#include "xTextConversion.h"

#include <atomic>
#include <ctime>
#include <mutex>
#include <thread>

xLockedValue<xWString> CurrentVersion;
xLockedValue<xString> PackageStem;

namespace
{
std::mutex PolicyLock;
VersionResolutionPolicy ResolutionPolicy;
// An update that owes step "1002" has begun.
std::atomic<bool> LoginStepOwed{false};

// The forced version, when the signed version file names it.
xWString CheckForcedVersion(const xString& versionLine, const xWString& forced)
{
    if (ListsClientVersion(versionLine, WideToUtf8(forced)))
        return forced;
    LogErrorLine(
        "Client version \"%s\" was named without a signature and the signed ClientVersionSID.txt does "
        "not list it; the client is not updated",
        xString(forced).c_str());
    return {};
}

// Asks the server; with a key, checks a forced version against its answer.
xWString AskServer(const VersionQuestion& question)
{
    const xString url = question.BaseUrl + VersionFileFormat::ClientVersionsName;
    const VersionResolutionPolicy policy = GetVersionResolutionPolicy();
    for (int round = 1; round <= question.Rounds; ++round)
    {
        if (round > 1)
            std::this_thread::sleep_for(GrowingPause(policy.FirstPause, policy.LongestPause, round - 1));
        const VersionFileAnswer answer =
            FetchVersionFile(TheUpdateContext(), url, VersionFileKind::ClientVersions,
                             static_cast<int64_t>(std::time(nullptr)));
        LogLine("check ClientVersionSID.txt return %s", answer.Line.c_str());
        if (answer.Verdict != VersionFileVerdict::Taken && answer.Verdict != VersionFileVerdict::Unanswered)
        {
            // Asking again at once brings the same file: the usual retry asks later.
            LogErrorLine("No client version from %s: its version file was refused; the client is not updated "
                         "this time",
                         url.c_str());
            return {};
        }
        if (!question.Forced.IsEmpty() && answer.Verdict == VersionFileVerdict::Taken)
            return CheckForcedVersion(answer.Line, question.Forced);
        const xWString version = Utf8ToWide(ChooseClientVersion(answer.Line, question.Sid));
        if (version.IsEmpty())
            continue;
        LogLine("CurrentVersion: %s", xString(version).c_str());
        return version;
    }
    LogErrorLine("No client version from %s after %d tries; the client is not updated", url.c_str(),
                 question.Rounds);
    return {};
}

// The worker's first step: the version, then the names it gives.
bool PrepareJob(const VersionQuestion& question, PackageJob& job)
{
    CurrentVersion.Set(xWString());
    const xWString version = ResolveClientVersion(question);
    if (version.IsEmpty())
        return false;
    const xString stem = PackageNamePrefix + WideToUtf8(version);
    // The names become files in the launcher's folder.
    if (!IsPlainFileName(stem + ".pkg"))
    {
        LogErrorLine("Client version \"%s\" cannot name a package; the client is not updated",
                     xString(version).c_str());
        return false;
    }
    CurrentVersion.Set(version);
    PackageStem.Set(stem);
    job.PackageName = stem + ".pkg";
    job.ManifestName = stem + ".crc";
    return true;
}

// What the request asks for, in the worker's log lines and to tell requests apart.
xString AskedFor(const VersionQuestion& question)
{
    if (!question.Forced.IsEmpty())
        return PackageNamePrefix + WideToUtf8(question.Forced) + ".pkg";
    if (!question.Requested.IsEmpty())
        return PackageNamePrefix + WideToUtf8(question.Requested) + ".pkg";
    return question.Sid.IsEmpty() ? xString("the default version") : "the version of server " + question.Sid;
}
} // namespace

UpdateContext& TheUpdateContext()
{
    static UpdateContext* const context = new UpdateContext(LauncherFiles());
    return *context;
}

PackageWorkerThread& ThePackageWorker()
{
    static PackageWorkerThread* const worker = new PackageWorkerThread(TheUpdateContext());
    return *worker;
}

void SetVersionResolutionPolicy(const VersionResolutionPolicy& policy)
{
    std::lock_guard<std::mutex> hold(PolicyLock);
    ResolutionPolicy = policy;
}

VersionResolutionPolicy GetVersionResolutionPolicy()
{
    std::lock_guard<std::mutex> hold(PolicyLock);
    return ResolutionPolicy;
}

xWString ResolveClientVersion(const VersionQuestion& question)
{
    // Without a key nothing vouches for the server's answer either, so a forced
    // version is taken as it stands, without asking.
    if (!question.Forced.IsEmpty() && !GetUpdateVerifier().IsOn())
        return question.Forced;
    if (question.Forced.IsEmpty() && !question.Requested.IsEmpty())
        return question.Requested;
    return AskServer(question);
}

FullCheckCause FullCheckFor(const LaunchState& launch, const ProductProfile& profile)
{
    if (launch.Verify)
        return FullCheckCause::Asked;
    return profile.VerifiesEveryLogin() ? FullCheckCause::EveryLogin : FullCheckCause::None;
}

bool StartPackageUpdate(const xWString& requestedVersion)
{
    return StartPackageUpdateFor(requestedVersion, TheProfile, TheLaunchState);
}

bool StartPackageUpdateFor(const xWString& requestedVersion, const ProductProfile& profile,
                           const LaunchState& launch, const PackageUpdateOptions& options)
{
    LogLine("Download Version: %s", xString(launch.ForceVersion).c_str());
    VersionQuestion question;
    question.BaseUrl = profile.ClientBaseUrl();
    question.Sid = profile.SidString;
    question.Forced = launch.ForceVersion;
    question.Requested = requestedVersion;
    question.Rounds = options.Rounds > 0 ? options.Rounds : GetVersionResolutionPolicy().Rounds;

    PackageBaseUrl = profile.ClientBaseUrl();
    PackageUpdateRequest request;
    request.Job.BaseUrl = PackageBaseUrl;
    request.Job.LocalMode = launch.LocalMode;
    request.Job.FullCheck = FullCheckFor(launch, profile);
    request.Asked = AskedFor(question);
    request.Prepare = [question](PackageJob& job) { return PrepareJob(question, job); };
    if (options.ReportsLoginStep)
        request.OnBegin = [] { LoginStepOwed = true; };
    const PackageWorkerThread::Outcome outcome = ThePackageWorker().Run(request);
    return outcome == PackageWorkerThread::Outcome::Started ||
           outcome == PackageWorkerThread::Outcome::Queued;
}

void ReportBegunLoginStep(ProductProfile& profile)
{
    if (LoginStepOwed.exchange(false))
        profile.ReportStep("1002");
}
