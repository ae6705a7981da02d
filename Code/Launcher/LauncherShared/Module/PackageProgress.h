#pragma once

#include <atomic>
#include <cstdint>

// Progress of the package update, written by the package worker (and by the
// downloader's range transfers on its behalf) and read by the user-interface
// thread on every tick: atomics with relaxed order, no lock. The readers use
// them for displayed fractions and once-only step texts only.

enum PackageUpdateStates : int32_t
{
    PackageUpdateIdle = 0,
    PackageUpdateStarted = 1,
    PackageUpdateDownloading = 2,
    PackageUpdateChecking = 3,
    PackageUpdateDone = 4,
    // The update gave up (the reason is in the log): the client may not be whole.
    PackageUpdateFailed = 5,
};

extern std::atomic<int32_t> PackageUpdateState;

// Why the update gave up, where the player can do something about it: read
// with PackageUpdateFailed, set back to None when an update starts.
enum PackageFailureReasons : int32_t
{
    PackageFailureNone = 0,
    // The download or publish folder's volume has no room for the update.
    PackageFailureDiskFull = 1,
};
extern std::atomic<int32_t> PackageFailureReason;
// Sum of the package data of the files that must be fetched.
extern std::atomic<uint64_t> PackageBytesNeeded;
// Bytes of the package received so far in this run.
extern std::atomic<uint64_t> PackageBytesReceived;
// Seconds on the platform clock: the manifest download, the whole update from
// its start, and the package transfer's end.
extern std::atomic<double> CrcStartTime;
extern std::atomic<double> CrcEndTime;
extern std::atomic<double> DownloadStartTime;
extern std::atomic<double> DownloadEndTime;
// PackageBytesNeeded over the update's duration, bytes per second.
extern std::atomic<double> DownloadSpeed;
// Which way the last update went.
extern std::atomic<bool> FullDownloadDone;
extern std::atomic<bool> PartialDownloadDone;

// Every value back to that of a fresh process (tests start each case from it).
void ResetPackageProgress();
