#include "ChunkIndex.h"
#include "ChunkIndexFormat.h"

#include "xTextConversion.h"

#include <algorithm>
#include <cstddef>

namespace
{
template <typename Number> void Put(std::vector<uint8_t>& out, Number value)
{
    for (size_t i = 0; i < sizeof(Number); ++i)
        out.push_back(static_cast<uint8_t>(uint64_t(value) >> (8 * i)));
}

// Longer texts are cut at the u16 count; the reader refuses what they become.
void PutString(std::vector<uint8_t>& out, const std::string& text)
{
    const size_t length = std::min<size_t>(text.size(), 0xFFFF);
    Put(out, static_cast<uint16_t>(length));
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(length));
}
} // namespace

std::vector<uint8_t> WriteChunkIndex(const ChunkIndex& index)
{
    using namespace ChunkIndexFormat;
    std::vector<uint8_t> out(Magic, Magic + MagicSize);
    PutString(out, index.Version);
    Put(out, index.Sizes.Minimum), Put(out, index.Sizes.Average), Put(out, index.Sizes.Maximum);
    Put(out, static_cast<uint16_t>(index.Packs.size()));
    for (const ChunkPackInfo& pack : index.Packs)
        PutString(out, pack.Name), Put(out, pack.Size);
    Put(out, static_cast<uint32_t>(index.Chunks.size()));
    for (const ChunkRecord& chunk : index.Chunks)
    {
        out.insert(out.end(), chunk.Sha256.begin(), chunk.Sha256.end());
        Put(out, chunk.Length), Put(out, chunk.Pack), Put(out, chunk.Offset), Put(out, chunk.StoredSize);
        Put(out, static_cast<uint8_t>(chunk.Form));
    }
    Put(out, static_cast<uint32_t>(index.Files.size()));
    for (const ChunkIndexFile& file : index.Files)
    {
        const xString name = WideToUtf8(file.Name);
        PutString(out, std::string(name.c_str(), name.Length()));
        Put(out, file.Size), Put(out, static_cast<uint32_t>(file.Chunks.size()));
        for (const uint32_t number : file.Chunks)
            Put(out, number);
    }
    return out;
}
