#pragma once

#include "xString.h"

#include <chrono>

class ProductProfile;
struct LaunchState;

// Which client version this run brings up to date, and the start of the
// package worker for it. Main thread only.

// The version chosen for this run; empty until a choice is made.
extern xWString CurrentVersion;
// "Startup" + CurrentVersion: the package is <stem>.pkg, the manifest <stem>.crc.
extern xString PackageStem;

// How long the version resolution keeps asking the server (it blocks the main
// thread): at most Rounds fetches, pausing between them from FirstPause,
// doubling, up to LongestPause.
struct VersionResolutionPolicy
{
    int Rounds = 8;
    std::chrono::milliseconds FirstPause{500};
    std::chrono::milliseconds LongestPause{4000};
};
void SetVersionResolutionPolicy(const VersionResolutionPolicy& policy);
VersionResolutionPolicy GetVersionResolutionPolicy();

// The version the server names for `sid` in "ClientVersionSID.txt" under
// `clientBaseUrl`, asked again (with pauses) while the answer gives none; empty
// after the last round, with an error line.
xWString ResolveClientVersion(const xString& clientBaseUrl, const xString& sid);

// Chooses the version (`requestedVersion`, else the forced one, else the
// server's) and starts the package worker for it in the publish folder. While
// a worker runs, an update of another version starts when it ends. Callers
// pass an empty version. True when the update starts (now or after the running
// one); false when no version was found, the version cannot name a package
// (the state becomes Failed unless an earlier update still runs), the same
// update already runs, or no thread could be made.
bool StartPackageUpdate(const xWString& requestedVersion);
bool StartPackageUpdateFor(const xWString& requestedVersion, const ProductProfile& profile,
                           const LaunchState& launch);
