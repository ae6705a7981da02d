#pragma once

#include "xString.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// The unpacked resource pack, for the reader (ResPack), the writer
// (WriteResPackImage, which respack builds through) and the tests. All words
// are u32 little-endian; offsets count from the pack's first byte.
//   header            eight words, ResPackHeaderSize bytes
//   name table        per member: its length in bytes, then UTF-16LE units
//   offset table      per member: where its bytes start (absolute)
//   size table        per member: how many bytes it has
//   second size table a copy of the sizes (carried, never consulted)
//   data              the members back to back
constexpr uint32_t ResPackMagic = 0x00010345;
constexpr size_t ResPackHeaderSize = 32;
// Each table entry, and each name's length in front of its units.
constexpr size_t ResPackWordSize = 4;

// The header's words in order; the offset table holds absolute offsets, so
// DataOffset is informational.
struct ResPackHeader
{
    uint32_t Magic = 0;
    uint32_t Reserved = 0;
    uint32_t FileCount = 0;
    uint32_t NameTableOffset = 0;
    uint32_t OffsetTableOffset = 0;
    uint32_t SizeTableOffset = 0;
    uint32_t SecondSizeTableOffset = 0;
    uint32_t DataOffset = 0;
};
// So offsetof gives where each word lies in the pack.
static_assert(sizeof(ResPackHeader) == ResPackHeaderSize, "the header is its eight words");

struct ResPackMember
{
    xWString Name;
    std::vector<uint8_t> Bytes;
};

// The unpacked pack holding `members` in the order given (ResPackWriter.cpp;
// respack and the tests build packs through it).
std::vector<uint8_t> WriteResPackImage(const std::vector<ResPackMember>& members);
