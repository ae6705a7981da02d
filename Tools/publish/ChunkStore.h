#pragma once

#include "ChunkIndex.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

// The chunks earlier publications left in a folder (--chunk-store): every
// chunk index there ("*.chunks") and the packs they name, so that a new
// version names a chunk already published instead of packing it again. Read
// once before packing starts and only read afterwards, so the packing threads
// look chunks up without a lock.
class ChunkStore
{
public:
    struct Place
    {
        const ChunkPackInfo* Pack = nullptr;
        ChunkRecord Record;
    };

    // Reads every index in `folder` in the order of their names (the first
    // naming a chunk wins, so runs repeat). Chunks in a pack named `ownPack`
    // (the one about to be written again) or in a pack that is missing or of
    // another size than its index says are not taken. False, with an error
    // line, for an index that cannot be read or parsed, and for one (other
    // than `ownIndex`) that names `ownPack`: rewriting that pack would break it.
    bool Load(const std::filesystem::path& folder, const std::string& ownPack, const std::string& ownIndex);

    const Place* Find(const Sha256Digest& digest) const;
    size_t ChunkCount() const { return m_Places.size(); }

private:
    struct DigestHash
    {
        size_t operator()(const Sha256Digest& digest) const;
    };
    bool Take(const std::filesystem::path& folder, const std::filesystem::path& file,
              const std::string& ownPack, const std::string& ownIndex);

    std::vector<std::unique_ptr<ChunkPackInfo>> m_Packs;
    std::unordered_map<Sha256Digest, Place, DigestHash> m_Places;
};
