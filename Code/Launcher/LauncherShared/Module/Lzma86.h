#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The Lzma86 container that carries the resource pack, the manifest, the package
// members and the font. Little-endian throughout:
//   byte 0      filter flag: 0 plain, 1 the x86 branch-call filter was applied before compressing
//   bytes 1-5   LZMA properties (lc/lp/pb byte, dictionary size u32)
//   bytes 6-13  unpacked size, u64
//   bytes 14... raw LZMA stream without a header of its own
constexpr size_t Lzma86HeaderSize = 14;
// Larger announcements are refused before anything is allocated.
constexpr uint64_t Lzma86MaxUnpackedSize = 0x40000000;

// Unpacks a whole container. The output is left untouched when the header is
// short or announces more than Lzma86MaxUnpackedSize ("Failed to
// Lzma86_GetUnpackSize"); otherwise it is resized to the announced size, and a
// damaged stream, an unknown filter or a short result logs "Failed to
// Lzma86_Decode" and gives false.
bool DecodeLzma86(const uint8_t* data, size_t length, std::vector<uint8_t>& output);

struct Lzma86EncodeOptions
{
    // Written into the header as given (the decoder of the launcher ignores it,
    // other readers size their window by it).
    uint32_t DictionarySize = 1u << 22;
    // 0 (fastest) to 9.
    int Level = 5;
};

// Packs `length` bytes into a container with properties lc 3, lp 0, pb 2
// (0x5D). False, with a log line, when the encoder fails.
bool EncodeLzma86(const uint8_t* data, size_t length, bool useX86Filter, std::vector<uint8_t>& output,
                  const Lzma86EncodeOptions& options = Lzma86EncodeOptions());

// The x86 branch-call filter over a whole buffer that starts at stream position 0:
// the 32-bit operands of E8 (CALL) and E9 (JMP) that look like near targets are
// turned from relative to absolute (encode) and back (decode), which makes
// repeated calls of one function compress better. The last four bytes are never
// changed.
void X86FilterEncode(uint8_t* data, size_t length);
void X86FilterDecode(uint8_t* data, size_t length);
