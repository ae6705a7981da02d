#include "CapturedLog.h"
#include "FileBytes.h"
#include "Lzma86.h"

#include "xSystemPaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#ifndef _WIN32
#include <lzma.h>
#endif

namespace
{
using Bytes = std::vector<uint8_t>;
using Lines = std::vector<std::string>;

const std::string SizeLine = "E Failed to Lzma86_GetUnpackSize";
const std::string DecodeLine = "E Failed to Lzma86_Decode";

// Looks like machine code to the branch filter: many E8/E9 opcodes, many 00/FF
// top bytes, and opcodes close together so the skipping rules come into play.
Bytes BranchHeavyBytes(size_t size, unsigned seed)
{
    static const int choices[8] = {0xE8, 0xE8, 0xE9, 0x00, 0xFF, -1, -1, -1}; // -1: any byte
    std::mt19937 random(seed);
    Bytes bytes(size);
    for (uint8_t& byte : bytes)
    {
        const int choice = choices[random() % 8];
        byte = static_cast<uint8_t>(choice >= 0 ? choice : int(random() & 0xFF));
    }
    return bytes;
}

Bytes Header(uint8_t filter, uint64_t size, uint8_t properties = 0x5D, uint32_t dictionary = 1u << 22)
{
    Bytes header = {filter, properties};
    for (int i = 0; i < 12; ++i) // both little-endian
        header.push_back(static_cast<uint8_t>(i < 4 ? dictionary >> (8 * i) : size >> (8 * (i - 4))));
    return header;
}

Bytes Encode(const Bytes& data, bool x86)
{
    Bytes container;
    EXPECT_TRUE(EncodeLzma86(data.data(), data.size(), x86, container));
    return container;
}

struct Decoded
{
    bool Ok;
    Bytes Output;
    Lines Log;
};

Decoded Decode(const Bytes& container, Bytes output = Bytes())
{
    CapturedLog log;
    const bool ok = DecodeLzma86(container.data(), container.size(), output);
    return {ok, output, log.Messages()};
}
} // namespace

TEST(Lzma86Decode, RefusesShortHeadersDamageAndAnnouncementsBeyond1GiB)
{
    const Bytes valid = Encode(BranchHeavyBytes(20000, 1), false);
    const auto changed = [&](size_t at, int value)
    {
        Bytes bytes = valid;
        bytes[at] = static_cast<uint8_t>(value);
        return bytes;
    };
    // A refused size logs one line and leaves the output alone; damage gives a decode error and a short
    // result.
    const Lines size = {SizeLine}, damage = {DecodeLine, DecodeLine};
    const struct
    {
        const char* Name;
        Bytes Container;
        const Lines& Log;
    } cases[] = {
        {"13 bytes", Bytes(valid.begin(), valid.begin() + 13), size},
        {"nothing", Bytes(), size},
        {"0x40000001 bytes announced", Header(0, 0x40000001), size},
        {"2^32 bytes announced", Header(0, uint64_t(1) << 32), size},
        {"2^32 + 5 bytes announced (5 in the low word)", Header(0, (uint64_t(1) << 32) + 5), size},
        {"2^64 - 1 bytes announced", Header(0, ~uint64_t(0)), size},
        {"stream cut in half", Bytes(valid.begin(), valid.begin() + ptrdiff_t(valid.size() / 2)), damage},
        {"filter flag 2", changed(0, 2), damage},
        {"lc/lp/pb beyond their ranges", changed(1, 9 * 5 * 5), damage},
        {"1 MiB more announced than the stream holds", changed(8, valid[8] + 0x10), damage},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Name);
        const Decoded result = Decode(c.Container, Bytes{1, 2, 3});
        EXPECT_FALSE(result.Ok);
        EXPECT_EQ(c.Log, result.Log);
        if (&c.Log == &size)
        {
            EXPECT_EQ((Bytes{1, 2, 3}), result.Output) << "the output must stay as it was";
        }
    }

    // Exactly 1 GiB passes the size check (the output grows to it); the 4 KiB stream then runs short.
    Bytes container = Header(0, 0x40000000);
    const Bytes stream = Encode(Bytes(4096, 'x'), false);
    container.insert(container.end(), stream.begin() + Lzma86HeaderSize, stream.end());
    Bytes output;
    CapturedLog log;
    EXPECT_FALSE(DecodeLzma86(container.data(), container.size(), output));
    EXPECT_EQ(size_t(0x40000000), output.size());
    EXPECT_EQ(damage, log.Messages());
}

#ifndef _WIN32

// liblzma is an implementation nobody here wrote: its raw LZMA1 streams, with and
// without its x86 BCJ filter, must unpack to the same bytes through our envelope,
// and our streams must unpack through liblzma.
namespace
{
// Real machine code: the stretch of this test program's file with the most CALL
// and JMP opcodes (where its code section lies differs between ELF and PE).
Bytes OwnCode(size_t length)
{
    const std::string file = ReadFileBytes(std::u16string(GetModulePath().c_str()));
    const Bytes image(file.begin(), file.end());
    EXPECT_GT(image.size(), length) << "this program is shorter than expected";
    size_t best = 0, bestCount = 0;
    for (size_t start = 0; start + length <= image.size(); start += 64 * 1024)
    {
        const auto from = image.begin() + static_cast<ptrdiff_t>(start);
        const size_t count = static_cast<size_t>(std::count_if(
            from, from + static_cast<ptrdiff_t>(length), [](uint8_t b) { return b == 0xE8 || b == 0xE9; }));
        if (count > bestCount)
            std::tie(best, bestCount) = std::make_pair(start, count);
    }
    return Bytes(image.begin() + static_cast<ptrdiff_t>(best),
                 image.begin() + static_cast<ptrdiff_t>(std::min(best + length, image.size())));
}

// liblzma's raw coder, x86 BCJ first when asked. Encoding writes an end mark; decoding is
// told the size as our header tells it. Preset 6 has our envelope's lc 3, lp 0, pb 2.
Bytes Liblzma(bool encode, bool x86, const Bytes& input, uint64_t size = 0)
{
    lzma_options_lzma options;
    lzma_lzma_preset(&options, 6);
    options.dict_size = encode ? 1u << 20 : 1u << 22;
    options.ext_flags = 0;
    options.ext_size_low = static_cast<uint32_t>(size);
    options.ext_size_high = static_cast<uint32_t>(size >> 32);
    const lzma_filter filters[] = {{LZMA_FILTER_X86, nullptr},
                                   {encode ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA1EXT, &options},
                                   {LZMA_VLI_UNKNOWN, nullptr}};
    const lzma_filter* chain = filters + (x86 ? 0 : 1);
    Bytes output(encode ? input.size() * 2 + 4096 : size + 1);
    size_t in = 0, out = 0;
    EXPECT_EQ(LZMA_OK, encode ? lzma_raw_buffer_encode(chain, nullptr, input.data(), input.size(),
                                                       output.data(), &out, output.size())
                              : lzma_raw_buffer_decode(chain, nullptr, input.data(), &in, input.size(),
                                                       output.data(), &out, output.size()));
    output.resize(out);
    return output;
}

// liblzma's stream of `data` in our envelope, with the filter flag given.
Bytes WrapLiblzma(uint8_t filter, const Bytes& data, bool x86)
{
    Bytes container = Header(filter, data.size(), 0x5D, 1u << 20);
    const Bytes stream = Liblzma(true, x86, data);
    container.insert(container.end(), stream.begin(), stream.end());
    return container;
}
} // namespace

// Both ways, with and without the branch filter, and the filter alone.
TEST(Lzma86Liblzma, AgreesWithLiblzma)
{
    std::vector<Bytes> inputs = {OwnCode(128 * 1024), Bytes{0xE8, 0x00, 0x00, 0x00, 0x00, 0x00}};
    for (unsigned seed = 0; seed < 8; ++seed)
        inputs.push_back(BranchHeavyBytes(3000 + seed * 1111, 200 + seed));
    for (const Bytes& data : inputs)
    {
        SCOPED_TRACE(testing::Message() << data.size() << " bytes");
        for (bool x86 : {false, true})
        {
            const Decoded ours = Decode(WrapLiblzma(x86 ? 1 : 0, data, x86));
            EXPECT_TRUE(ours.Ok && ours.Output == data) << "our decoder, filter " << x86;
            const Bytes container = Encode(data, x86);
            const Bytes stream(container.begin() + Lzma86HeaderSize, container.end());
            EXPECT_TRUE(Liblzma(false, x86, stream, data.size()) == data) << "liblzma, filter " << x86;
        }
        // liblzma's filtered bytes: its x86 + LZMA1 stream unpacked without undoing the filter.
        const Decoded theirs = Decode(WrapLiblzma(0, data, true));
        Bytes filtered = data;
        X86FilterEncode(filtered.data(), filtered.size());
        ASSERT_EQ(theirs.Output.size(), filtered.size());
        const auto difference = std::mismatch(filtered.begin(), filtered.end(), theirs.Output.begin());
        EXPECT_EQ(filtered.end(), difference.first)
            << "our filter differs at byte " << difference.first - filtered.begin();
    }
}

#endif
