#pragma once

#include "ChunkIndex.h"
#include "RangePlan.h"
#include "Sha256.h"

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

// How the chunked way makes one client file: which of its chunks the old copy
// on disk already holds (found by cutting it as the publisher cut the new one)
// and which byte ranges of the chunk packs bring the rest. Plain values, so the
// way can weigh a file's cost before it fetches anything.

struct Sha256DigestHash
{
    // A digest is uniform already: its first bytes are as good as any hash of it.
    size_t operator()(const Sha256Digest& digest) const
    {
        size_t value = 0;
        for (size_t i = 0; i < sizeof(value); ++i)
            value = value << 8 | digest[i];
        return value;
    }
};

// Where a chunk lies in an old copy.
struct OldChunk
{
    uint64_t Offset = 0;
    uint32_t Length = 0;
};
using OldChunks = std::unordered_map<Sha256Digest, OldChunk, Sha256DigestHash>;

// One chunk of the new file in file order: from the old copy, or chunk number
// Chunk of the index.
struct ChunkPiece
{
    uint64_t At = 0;
    uint32_t Length = 0;
    bool Reused = false;
    uint64_t OldOffset = 0;
    uint32_t Chunk = 0;
};

// The requests for one pack's missing chunks; each span's members are chunk numbers.
struct PackRequests
{
    uint16_t Pack = 0;
    std::vector<PlannedSpan> Spans;
};

struct ChunkFilePlan
{
    std::vector<ChunkPiece> Pieces;
    std::vector<PackRequests> Requests;
    uint64_t ReusedBytes = 0;
    // The missing chunks as they lie in the packs.
    uint64_t MissingBytes = 0;
    // What the requests move, gaps between merged chunks included.
    uint64_t FetchedBytes = 0;
};

// The plan for `file` of `index` given the chunks of its old copy. Each missing
// chunk is fetched once, however often the file uses it; the spans' Members
// are chunk numbers, by offset in their pack.
ChunkFilePlan PlanChunkedFile(const ChunkIndex& index, const ChunkIndexFile& file, const OldChunks& old);
