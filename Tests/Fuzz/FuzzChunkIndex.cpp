// Any bytes as a chunk index. A refused index leaves nothing behind; an
// accepted one is exactly what the publisher's writer (WriteChunkIndex) writes
// for what was read, and holds only what its checks promise.
#include "ChunkIndex.h"
#include "FuzzCheck.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ChunkIndex index;
    index.Files.resize(1);
    std::string error;
    if (!ParseChunkIndex(data, size, index, error))
    {
        FUZZ_CHECK(!error.empty() && index.Files.empty() && index.Chunks.empty() && index.Packs.empty());
        return 0;
    }
    FUZZ_CHECK(WriteChunkIndex(index) == std::vector<uint8_t>(data, data + size));
    for (const ChunkRecord& chunk : index.Chunks)
        FUZZ_CHECK(chunk.Pack < index.Packs.size() &&
                   chunk.Offset + chunk.StoredSize <= index.Packs[chunk.Pack].Size &&
                   chunk.Length <= index.Sizes.Maximum);
    for (const ChunkIndexFile& file : index.Files)
    {
        uint64_t total = 0;
        for (const uint32_t number : file.Chunks)
            total += number < index.Chunks.size() ? index.Chunks[number].Length : uint64_t(1) << 63;
        FUZZ_CHECK(total == file.Size);
    }
    return 0;
}
