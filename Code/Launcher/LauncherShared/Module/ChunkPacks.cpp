#include "ChunkPacks.h"

#include "xLogLine.h"

ChunkPacks::ChunkPacks(UpdateContext& context, const xString& baseUrl, const ChunkIndex& index)
    : Context(context), BaseUrl(baseUrl), Index(index), Fetchers(index.Packs.size()),
      Refused(index.Packs.size(), false)
{
    for (const ChunkPackInfo& pack : index.Packs)
        Names.push_back(xString(pack.Name.c_str()));
}

ChunkPacks::~ChunkPacks() = default;

RangeFetcher* ChunkPacks::Fetcher(uint16_t pack)
{
    if (Refused[pack])
        return nullptr;
    if (Fetchers[pack])
        return Fetchers[pack].get();
    auto fetcher = std::make_unique<RangeFetcher>(Context, BaseUrl + Names[pack]);
    const int64_t size = fetcher->RemoteSize();
    // Chunks at the index's offsets in a pack of another size would be other bytes.
    if (size < 0 || static_cast<uint64_t>(size) != Index.Packs[pack].Size)
    {
        LogErrorLine("Chunk pack %s is not there at the size its index names (%lld bytes, the server: %lld)",
                     Names[pack].c_str(), static_cast<long long>(Index.Packs[pack].Size),
                     static_cast<long long>(size));
        Refused[pack] = true;
        return nullptr;
    }
    Fetchers[pack] = std::move(fetcher);
    return Fetchers[pack].get();
}
