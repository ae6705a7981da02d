#pragma once

#include <cstddef>
#include <cstdint>

// The chunk index's layout, for its reader (ChunkIndex.cpp) and its writer
// (ChunkIndexWriter.cpp, which the publisher writes through). Binary,
// little-endian, no padding; a "string" is a u16 byte count and that many bytes
// of UTF-8:
//   magic            8 bytes, "LCHUNKS1"
//   version          string: the client version the index describes
//   sizes            u32 minimum, u32 average, u32 maximum: how the files were cut
//   pack count       u16, then per pack: name (string, a file beside the
//                    index), u64 size in bytes
//   chunk count      u32, then per distinct chunk (ChunkRecordSize bytes):
//                    SHA-256 (32) of its bytes, u32 length, u16 pack number,
//                    u64 offset in the pack, u32 stored size, u8 form
//   file count       u32, then per file: name (string, as the manifest names
//                    it), u64 size, u32 chunk count, u32 chunk number each
// Nothing follows the last file.
namespace ChunkIndexFormat
{
constexpr const char Magic[] = "LCHUNKS1";
constexpr size_t MagicSize = 8;
constexpr size_t ChunkRecordSize = 32 + 4 + 2 + 8 + 4 + 1;
// A name's u16 count, a size and a chunk count: the least a file takes.
constexpr size_t FileRecordMinimum = 2 + 8 + 4;
constexpr size_t PackRecordMinimum = 2 + 8;
constexpr size_t MaxVersionBytes = 256;
// The publisher's index file: "Startup<version>" with this after it; the pack
// it writes beside it has PackSuffix.
constexpr const char IndexSuffix[] = ".chunks";
constexpr const char PackSuffix[] = ".chunkpack";
} // namespace ChunkIndexFormat
