#pragma once

#include "PackageWorker.h"

#include "xLockedValue.h"
#include "xString.h"

#include <chrono>

class PackageWorkerThread;
class ProductProfile;
struct LaunchState;
struct UpdateContext;

// Which client version this run brings up to date, and the package worker's
// request for it. A login asks on the window thread and returns at once: the
// version is learned on the worker's thread, which may wait minutes on a
// silent server while the window keeps painting ("正在与服务器连接").

// The version of the update that runs (or ran last); empty until the worker
// has learned one. Written by the worker, read on any thread.
extern xLockedValue<xWString> CurrentVersion;
// "Startup" + CurrentVersion: the package is <stem>.pkg, the manifest <stem>.crc.
extern xLockedValue<xString> PackageStem;

// The process's update context: the download folder (the launcher's own), the
// product's retry policy and decoder count, the engine's file system and the
// progress the windows read. Made on first use, after the platform start-up;
// never destroyed, as the workers that use it may still run while the process
// ends.
UpdateContext& TheUpdateContext();
// The process's package worker, on TheUpdateContext(). Never destroyed either.
PackageWorkerThread& ThePackageWorker();

// How long the version resolution keeps asking the server: at most Rounds
// fetches, pausing between them from FirstPause, doubling, up to LongestPause.
struct VersionResolutionPolicy
{
    int Rounds = 8;
    std::chrono::milliseconds FirstPause{500};
    std::chrono::milliseconds LongestPause{4000};
};
void SetVersionResolutionPolicy(const VersionResolutionPolicy& policy);
VersionResolutionPolicy GetVersionResolutionPolicy();

// What a version is asked for: the server id's entry of "ClientVersionSID.txt"
// under BaseUrl, unless a version is forced (a source without signature: the
// command line, the launch parameter's "cversion") or requested (the version
// learned before, tried again).
struct VersionQuestion
{
    xString BaseUrl;
    xString Sid;
    xWString Forced;
    xWString Requested;
    int Rounds = 8;
};

// The answer, on the worker's thread (it blocks: rounds with pauses). The
// forced version wins, then the requested one, then the server's choice. In a
// build with a key the version file must be signed, stamped and fresh
// (SignedVersionFile.h), and a forced version is taken only when that file
// names it. Empty, with an error line, when there is none.
xWString ResolveClientVersion(const VersionQuestion& question);

// Whether an update's check reads every client file whole: the command line's
// verify asks for it, a product whose profile checks every login always does.
FullCheckCause FullCheckFor(const LaunchState& launch, const ProductProfile& profile);

struct PackageUpdateOptions
{
    // Rounds of the version question; 0: the policy's.
    int Rounds = 0;
    // Step "1002" is owed once this update begins (a command-line login).
    bool ReportsLoginStep = false;
};

// Asks the package worker for the update of `requestedVersion` (empty: the
// forced one, else the server's) in the publish folder, and returns at once;
// the worker learns the version first. While an update runs, one of another
// request starts when it ends. False when the same request already runs or no
// thread could be made. An update whose version is not found, or cannot name a
// package, ends Failed (and is tried again later, as any failed update).
bool StartPackageUpdate(const xWString& requestedVersion);
bool StartPackageUpdateFor(const xWString& requestedVersion, const ProductProfile& profile,
                           const LaunchState& launch, const PackageUpdateOptions& options = {});

// Sends step "1002" once an update that owes it has begun (window thread, on
// every tick): the step report is the window thread's, the worker only marks it.
void ReportBegunLoginStep(ProductProfile& profile);
