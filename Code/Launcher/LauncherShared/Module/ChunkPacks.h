#pragma once

#include "ChunkIndex.h"
#include "RangeFetcher.h"
#include "UpdateContext.h"

#include "xString.h"

#include <cstdint>
#include <memory>
#include <vector>

// The chunk packs of one index, each fetched by ranges over a connection of
// its own that stays open for the whole update, after one HEAD.
class ChunkPacks
{
public:
    ChunkPacks(UpdateContext& context, const xString& baseUrl, const ChunkIndex& index);
    ~ChunkPacks();
    ChunkPacks(const ChunkPacks&) = delete;
    ChunkPacks& operator=(const ChunkPacks&) = delete;

    // The fetcher of pack number `pack`; null when the server does not have it
    // at the size the index names (said once, with an error line).
    RangeFetcher* Fetcher(uint16_t pack);
    const xString& Name(uint16_t pack) const { return Names[pack]; }

private:
    UpdateContext& Context;
    xString BaseUrl;
    const ChunkIndex& Index;
    std::vector<xString> Names;
    std::vector<std::unique_ptr<RangeFetcher>> Fetchers;
    std::vector<bool> Refused;
};
