#pragma once

#include "Manifest.h"
#include "UpdateContext.h"

#include "xString.h"

#include <chrono>
#include <cstdint>
#include <vector>

// The package worker: brings the client in the publish folder up to one
// version. It fetches the version's manifest, checks every listed file, and
// fetches what is stale: the whole package when that moves fewer bytes than
// the other ways (more than half of the package data), else each stale file
// from its old copy's chunks and the missing ones (where the server has a chunk
// index and that is cheaper) or by its byte range. Progress goes to the context's
// PackageProgress, its settings and files come from the context.

// Why a check reads every file rather than trusting the verified state.
enum class FullCheckCause : uint8_t
{
    None,       // trust the record where it vouches (a missing or damaged one is not trusted)
    Asked,      // the command line's verify
    EveryLogin, // the product's profile checks every login
};

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
    // Read every file whole, whatever the verified state says.
    FullCheckCause FullCheck = FullCheckCause::None;
};

// The largest manifest fetched: the manifest of a client of 2,000 files packs
// into well under a megabyte, and a larger one would only cost disk and memory
// (it is read whole) before failing to read.
constexpr uint64_t MaxManifestBytes = 64u << 20;

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
int PackageUpdateThread(UpdateContext& context, const PackageJob& job);

// Fetches the package until it verifies (bounded), then writes every safe entry
// of the manifest from it, the context's GetDecoderCount() files at a time, reading
// through the handle it was verified on. While the first transfer arrives, the
// decoders already write the files whose data is on disk; the rest wait for the
// verified package. Either way a file goes in place only when its bytes match
// its own checksums (its SHA-256 too, where the manifest names one). False when
// the package never verified or a file stays stale.
bool FullPackageDownload(UpdateContext& context, const PackageJob& job, const Manifest& manifest);

// Fetches the entries' byte ranges and writes the files: neighbours whose gap
// is small share a request (RangePlan.h), and all requests go over one
// kept-alive connection after one HEAD. Only the entries' own bytes count into
// PackageBytesReceived, never a gap's. A file goes in place only when its bytes
// match its checksums; one whose bytes came altered is asked again as a range
// that came back short is. An entry whose range keeps coming back short or
// altered is left as it was, with an error line, and the answer is false.
bool PartialPackageDownload(UpdateContext& context, const PackageJob& job,
                            const std::vector<ManifestEntry>& entries);
