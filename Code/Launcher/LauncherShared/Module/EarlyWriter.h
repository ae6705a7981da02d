#pragma once

#include "LauncherDownload.h"
#include "Manifest.h"
#include "PackageWorker.h"
#include "UpdateContext.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <thread>
#include <vector>

namespace PackageWorkerInternal
{
struct DecoderBuffers;

// The full way's work while the package is still arriving: each lone entry
// (clashing ones keep their manifest order for later) is written as soon as
// its data is on disk, by where the data starts, on decoder threads of their
// own. Bytes that have not verified yet may be wrong, so a file goes in place
// only when it matches its own checksum; one that does not is left for the
// writing after the package verified, which also does every entry not taken
// here. Only the first transfer is watched: a package that did not verify is
// rare, and what its transfer wrote is right by each file's own checksum.
class EarlyWriter
{
public:
    EarlyWriter(UpdateContext& context, const PackageJob& job, const Manifest& manifest,
                const std::vector<std::vector<size_t>>& work);
    ~EarlyWriter() { Finish(); }
    EarlyWriter(const EarlyWriter&) = delete;
    EarlyWriter& operator=(const EarlyWriter&) = delete;

    // Starts the decoders (those that can start) before the transfer that reports into Watch.
    void Start(size_t decoders);
    // The fetch is over: no more work is taken; waits for the files at hand.
    void Finish();
    // True when work item `item` is written and right (only after Finish).
    bool Written(size_t item) const { return Done[item] != 0; }

    DownloadWatch Watch;

private:
    void Decode();
    // Waits (only while the transfer runs) until the package's first `end`
    // bytes are on disk.
    bool WaitForBytes(uint64_t end);
    bool WriteArrived(const ManifestEntry& entry, xFile& package, DecoderBuffers& buffers);

    UpdateContext& Context;
    const PackageJob& Job;
    const Manifest& Source;
    const std::vector<std::vector<size_t>>& Work;
    std::vector<size_t> Order; // lone work items by where their data starts
    std::vector<char> Done;    // by work item; each set by the one decoder that took it
    std::atomic<size_t> Next{0};
    std::atomic<bool> Fetching{true};
    std::vector<std::thread> Decoders;
};
} // namespace PackageWorkerInternal
