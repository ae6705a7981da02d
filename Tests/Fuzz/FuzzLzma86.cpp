// Any bytes as an Lzma86 container; some small inputs also go through the encoder and
// the branch filter and must come back unchanged.
#include "Lzma86.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace
{
// The decoder makes its output as large as the header announces (up to 1 GiB, by
// design); zeroing that much for every input would leave no time for fuzzing.
constexpr uint64_t LargestDecodedAnnouncement = 1u << 20;
constexpr size_t LargestRoundTrip = 4096;

uint64_t Announced(const uint8_t* data)
{
    uint64_t size = 0;
    for (int i = 13; i >= 6; --i)
        size = (size << 8) | data[i];
    return size;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const bool decodable = size < Lzma86HeaderSize || Announced(data) <= LargestDecodedAnnouncement ||
                           Announced(data) > Lzma86MaxUnpackedSize;
    if (decodable)
    {
        std::vector<uint8_t> output;
        if (DecodeLzma86(data, size, output) && output.size() != Announced(data))
            std::abort();
    }

    // The round trip through the encoder costs far more than a decode (its set-up
    // dominates), so one small input in eight takes it; its last byte decides.
    if (size > 0 && size <= LargestRoundTrip && (data[size - 1] & 7) == 0)
    {
        std::vector<uint8_t> filtered(data, data + size);
        X86FilterEncode(filtered.data(), filtered.size());
        X86FilterDecode(filtered.data(), filtered.size());
        if (std::memcmp(filtered.data(), data, size) != 0)
            std::abort();

        Lzma86EncodeOptions options;
        options.DictionarySize = 1u << 12;
        options.Level = 0;
        std::vector<uint8_t> container, unpacked;
        const bool x86 = (data[size - 1] & 8) != 0;
        if (!EncodeLzma86(data, size, x86, container, options) ||
            !DecodeLzma86(container.data(), container.size(), unpacked) || unpacked.size() != size ||
            std::memcmp(unpacked.data(), data, size) != 0)
            std::abort();
    }
    return 0;
}
