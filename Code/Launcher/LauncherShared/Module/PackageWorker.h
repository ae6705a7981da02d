#pragma once

#include "Manifest.h"

#include "xString.h"

#include <chrono>
#include <cstdint>
#include <vector>

// The package worker: brings the client in the publish folder up to one
// version. It fetches the version's manifest, checks every listed file, and
// fetches what is stale: the whole package when more than half of its data is
// stale, else each stale file's byte range. Progress goes to PackageProgress.h.

// What one update works on. Copied when the worker starts, so the main thread
// may choose another version while it runs.
struct PackageJob
{
    xString BaseUrl;      // base URL of package and manifest, ending in "/"
    xString PackageName;  // "Startup<version>.pkg"
    xString ManifestName; // "Startup<version>.crc"
    // Where the client lives, ending in "/"; empty: the process's publish
    // folder (PublishDir), claimed when the update begins.
    xWString PublishFolder;
    bool LocalMode = false; // the installed client counts as final
};

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
void SetPackageRetryPolicy(const PackageRetryPolicy& policy);
PackageRetryPolicy GetPackageRetryPolicy();

// The largest manifest fetched: the manifest of a client of 2,000 files packs
// into well under a megabyte, and a larger one would only cost disk and memory
// (it is read whole) before failing to read.
constexpr uint64_t MaxManifestBytes = 64u << 20;

// How many files the full way unpacks and writes at once, each decoder on a
// thread of its own with its own reader of the package. A decoder holds one
// member's container and unpacked bytes at a time (and keeps up to 32 MiB of
// buffers between members), so this bounds the memory too. 0 (the default)
// takes the machine's core count, at most DefaultMaxPackageDecoders.
constexpr int DefaultMaxPackageDecoders = 4;
void SetPackageDecoderCount(int count);
// The count the full way uses: at least 1.
int GetPackageDecoderCount();

// The pause after try number `attempt` (counting from 1): `first`, doubled for
// each later try, never more than `longest`.
std::chrono::milliseconds GrowingPause(std::chrono::milliseconds first, std::chrono::milliseconds longest,
                                       int attempt);

// One whole update: the body of the worker thread (PackageWorkerThread runs
// it), returning the thread's exit code. 0 when the client is up to date (or
// nothing was to be done): the state ends Done. -1 when it gives up (no
// readable manifest, a manifest whose signature is refused or that lacks a
// SHA-256 in a build with an update key, a package that never verifies, a file
// left stale): the state ends Failed and the log says why.
int PackageUpdateThread(const PackageJob& job);

// Fetches the package until it verifies (bounded), then writes every safe entry
// of the manifest from it, GetPackageDecoderCount() files at a time, reading
// through the handle it was verified on. While the first transfer arrives, the
// decoders already write the files whose data is on disk; the rest wait for the
// verified package. Either way a file goes in place only when its bytes match
// its own checksums (its SHA-256 too, where the manifest names one). False when
// the package never verified or a file stays stale.
bool FullPackageDownload(const PackageJob& job, const Manifest& manifest);

// Fetches the entries' byte ranges and writes the files: neighbours whose gap
// is small share a request (RangePlan.h), and all requests go over one
// kept-alive connection after one HEAD. Only the entries' own bytes count into
// PackageBytesReceived, never a gap's. A file goes in place only when its bytes
// match its checksums; one whose bytes came altered is asked again as a range
// that came back short is. An entry whose range keeps coming back short or
// altered is left as it was, with an error line, and the answer is false.
bool PartialPackageDownload(const PackageJob& job, const std::vector<ManifestEntry>& entries);
