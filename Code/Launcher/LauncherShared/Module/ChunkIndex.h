#pragma once

#include "ContentChunker.h"
#include "Sha256.h"

#include "xString.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// A chunk index: each client file of one version as a list of content-defined
// chunks, and where each distinct chunk lies in the chunk packs, so a launcher
// fetches by byte ranges only the chunks it has nowhere else. The layout is in
// ChunkIndexFormat.h. Chunks are named by SHA-256: a signed index carries its
// signature on to every chunk as the manifest does to every file.

enum class ChunkForm : uint8_t
{
    Stored = 0, // the bytes themselves
    Lzma86 = 1, // an Lzma86 container that unpacks to them
};

struct ChunkRecord
{
    Sha256Digest Sha256{};
    uint32_t Length = 0; // of the chunk's own bytes
    uint16_t Pack = 0;   // a number in ChunkIndex::Packs
    uint64_t Offset = 0; // in the pack
    uint32_t StoredSize = 0;
    ChunkForm Form = ChunkForm::Stored;
};

struct ChunkPackInfo
{
    std::string Name; // UTF-8, a file in the index's own folder
    uint64_t Size = 0;
};

struct ChunkIndexFile
{
    xWString Name; // as the manifest names it
    uint64_t Size = 0;
    std::vector<uint32_t> Chunks; // numbers in ChunkIndex::Chunks, in file order
};

struct ChunkIndex
{
    std::string Version; // UTF-8
    ChunkSizes Sizes;
    std::vector<ChunkPackInfo> Packs;
    std::vector<ChunkRecord> Chunks; // distinct by SHA-256
    std::vector<ChunkIndexFile> Files;
};

// Reads an index. False, with `error` saying what is wrong and `index` empty,
// for anything the writer would not write: short or trailing bytes, counts the
// bytes cannot hold, unusable chunk sizes, a version or name a launcher could
// not use safely (IsSafeManifestName; a pack name must also be one file name),
// a name twice (ignoring case), a chunk twice, outside its pack, overlapping
// another, longer than the sizes allow, Lzma86 that does not shrink it or
// stored at another size, an unknown form, a chunk number past the table, or a
// file whose chunks do not add up to its size.
bool ParseChunkIndex(const uint8_t* data, size_t size, ChunkIndex& index, std::string& error);

// The index as the publisher serves it.
std::vector<uint8_t> WriteChunkIndex(const ChunkIndex& index);
