#pragma once

#include "ChunkIndex.h"
#include "ChunkPacks.h"
#include "ChunkPlan.h"
#include "Manifest.h"
#include "PackageWorker.h"
#include "UpdateContext.h"

#include "xFile.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

// Makes one client file by its chunk plan: the chunks its old copy holds are
// copied from it, the missing ones fetched from the packs (merged ranges,
// asked again when they come back short or altered, as the partial way asks),
// each checked against its length and SHA-256 before it is written. The bytes
// go to "<name>.td", which takes the file's name only when the whole of it
// matches every sum the manifest names. Anything else leaves the file as it
// was and the temporary file gone, with an error line.
class ChunkedFileWriter
{
public:
    ChunkedFileWriter(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                      const ChunkIndex& index, const ChunkFilePlan& plan, ChunkPacks& packs);
    ~ChunkedFileWriter();
    bool Write();

private:
    bool CopyReused();
    bool FetchMissing();
    bool FetchSpan(RangeFetcher& fetcher, const xString& pack, const PlannedSpan& span);
    // A fetched chunk's stored bytes: unpacked, checked and written where the file uses it.
    bool PutChunk(uint32_t chunk, const uint8_t* stored);
    bool WriteAt(uint64_t at, const uint8_t* data, size_t length);
    bool PutInPlace();

    UpdateContext& Context;
    const PackageJob& Job;
    const ManifestEntry& Entry;
    const ChunkIndex& Index;
    const ChunkFilePlan& Plan;
    ChunkPacks& Packs;
    std::unique_ptr<xFile> File;
    // Where each missing chunk goes in the new file.
    std::unordered_map<uint32_t, std::vector<uint64_t>> Places;
    std::vector<uint8_t> Unpacked;
    bool WriteFailed = false;
};
