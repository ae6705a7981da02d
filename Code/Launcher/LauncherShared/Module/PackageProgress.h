#pragma once

#include <atomic>
#include <cstdint>

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

// Why the update gave up, where the player can do something about it: read
// with PackageUpdateFailed, set back to None when an update starts.
enum PackageFailureReasons : int32_t
{
    PackageFailureNone = 0,
    // The download or publish folder's volume has no room for the update.
    PackageFailureDiskFull = 1,
};

// The progress values a tick reads, each read once.
struct PackageProgressSnapshot
{
    int32_t PackageUpdateState = PackageUpdateIdle;
    int32_t PackageFailureReason = PackageFailureNone;
    uint64_t PackageBytesNeeded = 0;
    uint64_t PackageBytesReceived = 0;
};

// Progress of the package update, written by the package worker (and by the
// downloader's range transfers on its behalf) and read by the user-interface
// thread on every tick: atomics with relaxed order, no lock. The readers use
// them for displayed fractions and once-only step texts only.
struct PackageProgress
{
    std::atomic<int32_t> PackageUpdateState{PackageUpdateIdle};
    std::atomic<int32_t> PackageFailureReason{PackageFailureNone};
    // Sum of the package data of the files that must be fetched.
    std::atomic<uint64_t> PackageBytesNeeded{0};
    // Bytes of the package received so far in this run.
    std::atomic<uint64_t> PackageBytesReceived{0};
    // Seconds on the platform clock: the manifest download, the whole update from
    // its start, and the package transfer's end.
    std::atomic<double> CrcStartTime{0.0};
    std::atomic<double> CrcEndTime{0.0};
    std::atomic<double> DownloadStartTime{0.0};
    std::atomic<double> DownloadEndTime{0.0};
    // PackageBytesNeeded over the update's duration, bytes per second.
    std::atomic<double> DownloadSpeed{0.0};
    // Which way the last update went.
    std::atomic<bool> FullDownloadDone{false};
    std::atomic<bool> PartialDownloadDone{false};

    // Each value read once (relaxed, one by one: the values need not agree
    // with each other, as they never did for a reader on another thread).
    PackageProgressSnapshot Snapshot() const;
};
