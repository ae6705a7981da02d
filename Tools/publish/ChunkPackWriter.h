#pragma once

#include "ChunkIndex.h"
#include "ChunkStore.h"
#include "Lzma86.h"

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <unordered_map>
#include <vector>

// One chunk of a file as a packing thread prepared it.
struct PreparedChunk
{
    Sha256Digest Sha256{};
    uint32_t Length = 0;
    ChunkForm Form = ChunkForm::Stored;
    // The bytes to pack; empty when the store has the chunk already.
    std::vector<uint8_t> Data;
    bool InStore = false;
};

// Cuts a file's bytes and names each chunk by SHA-256. A chunk the store has
// is left at that; any other is packed in an Lzma86 container when
// `compressible` and the container is smaller, else stored as it is (random
// data costs no LZMA time). False when a chunk could not be hashed or packed.
bool PrepareChunks(const std::vector<uint8_t>& bytes, bool compressible, bool useX86Filter,
                   const Lzma86EncodeOptions& options, const ChunkStore& store,
                   std::vector<PreparedChunk>& chunks);

// Writes this version's chunk pack (`<out>/Startup<version>.chunkpack`, through
// its temporary file) and builds its index as files come in their published
// order: a chunk goes into the pack the first time it is met and only when the
// store has it nowhere, so the pack and the index are the same for any number
// of packing threads.
class ChunkPackWriter
{
public:
    ChunkPackWriter(const std::filesystem::path& packPath, const std::string& version);

    bool Open();
    void AddFile(const xWString& name, uint64_t size, const std::vector<PreparedChunk>& chunks,
                 const ChunkStore& store);
    // Closes the pack; false (the temporary file removed) when a byte did not
    // reach it. The index is then complete.
    bool Close();
    void Drop();

    const ChunkIndex& Index() const { return m_Index; }
    uint64_t PackSize() const { return m_PackSize; }
    size_t PackedChunks() const { return m_PackedChunks; }

private:
    struct DigestHash
    {
        size_t operator()(const Sha256Digest& digest) const;
    };
    uint32_t NumberOf(const PreparedChunk& chunk, const ChunkStore& store);
    uint16_t PackNumber(const ChunkPackInfo& pack);

    std::filesystem::path m_PackPath;
    std::ofstream m_Pack;
    ChunkIndex m_Index;
    uint64_t m_PackSize = 0;
    size_t m_PackedChunks = 0;
    std::unordered_map<Sha256Digest, uint32_t, DigestHash> m_Numbers;
};
