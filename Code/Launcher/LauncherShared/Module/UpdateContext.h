#pragma once

#include "PackageProgress.h"

#include "xEngineFileSystem.h"
#include "xString.h"

#include <chrono>

// How hard the worker tries before it gives up, and how long it waits between
// tries: the pause doubles from FirstPause up to LongestPause.
struct PackageRetryPolicy
{
    int ManifestAttempts = 3;
    int PackageAttempts = 10;
    int RangeAttempts = 3;
    std::chrono::milliseconds FirstPause{1000};
    std::chrono::milliseconds LongestPause{4000};
};

// How many files the full way unpacks and writes at once, each decoder on a
// thread of its own with its own reader of the package. A decoder holds one
// member's container and unpacked bytes at a time (and keeps up to 32 MiB of
// buffers between members), so this bounds the memory too. 0 (the default)
// takes the machine's core count, at most DefaultMaxPackageDecoders, and that
// many where each file is flushed on its own (Windows), whose decoders mostly wait.
constexpr int DefaultMaxPackageDecoders = 4;

// What an update works with: where its downloads go, how hard it tries, how
// many decoders it runs, the file system it writes through, and the progress it
// reports. The application keeps one for the process; a test builds its own.
// The settings are set before an update starts and only read while it runs;
// the progress is written by the worker and read by any thread.
struct UpdateContext
{
    explicit UpdateContext(const xEngineFileSystem& files) : Files(files) {}
    UpdateContext(const UpdateContext&) = delete;
    UpdateContext& operator=(const UpdateContext&) = delete;

    const xEngineFileSystem& Files;
    // Where DownloadFile puts its files. Empty, the default, means the
    // launcher's own folder (GetModuleDirectory).
    xWString DownloadFolder;
    PackageRetryPolicy RetryPolicy;
    int DecoderCount = 0;
    PackageProgress Progress;

    // The download folder as a path ending in "/".
    xWString GetDownloadFolder() const;
    // The decoder count the full way uses: at least 1.
    int GetDecoderCount() const;
};
