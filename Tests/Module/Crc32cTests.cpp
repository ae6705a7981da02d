#include "Crc32c.h"
#include "FileBytes.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

namespace
{
// Bit by bit from the definition: independent of both table and instruction.
uint32_t ReferenceCrc32c(const uint8_t* data, size_t length)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < length; ++i)
    {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ ((crc & 1u) ? 0x82F63B78u : 0u);
    }
    return ~crc;
}

struct Implementation
{
    const char* Name;
    uint32_t (*Function)(const void*, size_t, uint32_t);
};

std::vector<Implementation> AvailableImplementations()
{
    std::vector<Implementation> found = {{"Crc32c", Crc32c}, {"software", Crc32cSoftware}};
    if (HasCrc32Instruction())
        found.push_back({"hardware", Crc32cHardware});
    return found;
}

// `alignment` bytes past the first 8-aligned address in `buffer`, so it is the real misalignment.
const uint8_t* At(const std::string& buffer, size_t alignment)
{
    return reinterpret_cast<const uint8_t*>(buffer.data()) +
           (8 - reinterpret_cast<uintptr_t>(buffer.data()) % 8) % 8 + alignment;
}
} // namespace

// The iSCSI test patterns (RFC 3720, B.4) and the common check value.
TEST(Crc32c, KnownVectorsFromEveryImplementation)
{
    std::vector<uint8_t> zeros(32, 0x00), ones(32, 0xFF), ascending(32);
    std::iota(ascending.begin(), ascending.end(), uint8_t(0));
    const std::vector<uint8_t> descending(ascending.rbegin(), ascending.rend());
    for (const Implementation& crc : AvailableImplementations())
    {
        SCOPED_TRACE(crc.Name);
        EXPECT_EQ(0xE3069283u, crc.Function("123456789", 9, 0));
        EXPECT_EQ(0x8A9136AAu, crc.Function(zeros.data(), zeros.size(), 0));
        EXPECT_EQ(0x62A8AB43u, crc.Function(ones.data(), ones.size(), 0));
        EXPECT_EQ(0x46DD794Eu, crc.Function(ascending.data(), ascending.size(), 0));
        EXPECT_EQ(0x113FDB5Cu, crc.Function(descending.data(), descending.size(), 0));
        EXPECT_EQ(0u, crc.Function(nullptr, 0, 0));
    }
}

// The paths split a range differently (alignment head, 4- or 8-byte body, tail),
// so every length from 0 to 300 at every start alignment 0 to 7 is compared, and
// each range is also summed in two parts, the second continuing from the first.
TEST(Crc32c, ImplementationsAgreeOnEveryLengthAlignmentAndSplit)
{
    const std::string buffer = PatternBytes(300 + 8 + 8, 7);
    const std::vector<Implementation> implementations = AvailableImplementations();
    for (size_t alignment = 0; alignment < 8; ++alignment)
        for (size_t length = 0; length <= 300; ++length)
        {
            const uint8_t* data = At(buffer, alignment);
            const size_t split = (length * 7) / 13;
            for (const Implementation& crc : implementations)
            {
                const uint32_t whole = crc.Function(data, length, 0);
                const uint32_t parts =
                    crc.Function(data + split, length - split, crc.Function(data, split, 0));
                ASSERT_EQ(ReferenceCrc32c(data, length), whole)
                    << crc.Name << ": length " << length << ", alignment " << alignment;
                ASSERT_EQ(whole, parts) << crc.Name << ": length " << length << ", alignment " << alignment
                                        << ", split at " << split;
            }
        }
}

// The hardware path sums blocks of 3 x 256 and 3 x 8192 bytes as three streams
// and joins them; a wrong join or a byte dropped at a block edge shows at lengths
// on and around those blocks and their sums, from every start alignment, with a
// sum carried in from earlier bytes too.
TEST(Crc32c, HardwareStreamsAgreeWithSoftwareAroundEveryBlock)
{
    if (!HasCrc32Instruction())
        GTEST_SKIP() << "no crc32 instruction on this processor";
    constexpr size_t Short = 3 * 256, Long = 3 * 8192;
    const std::string buffer = PatternBytes(2 * Long + Short + 9 + 8 + 8, 11);
    for (const auto& [first, last] : {std::pair<size_t, size_t>{0, 2 * Short + 16},
                                      {Long - 9, Long + 9},
                                      {Long + Short - 9, Long + Short + 9},
                                      {2 * Long + Short - 1 - 9, 2 * Long + Short - 1 + 9}})
        for (size_t length = first; length <= last; ++length)
            for (size_t alignment = 0; alignment < 8; ++alignment)
                for (uint32_t start : {0u, 0x9E3779B9u})
                    ASSERT_EQ(Crc32cSoftware(At(buffer, alignment), length, start),
                              Crc32cHardware(At(buffer, alignment), length, start))
                        << "length " << length << ", alignment " << alignment << ", start " << start;
}

// The publisher appends four bytes that give a font the checksum the launcher
// accepts; whatever came before them, the sum must land on the target.
TEST(Crc32c, ForcingBytesBringAnyDataToTheTarget)
{
    const std::string text = "The quick brown fox", zeros(1000, '\0'), random = PatternBytes(70001, 9);
    const std::pair<std::string, uint32_t> cases[] = {
        {"", 0x03487F00u},     {"", 0u},
        {text, 0x03487F00u},   {text, 0xFFFFFFFFu},
        {zeros, 0x03487F00u},  {random, 0x03487F00u},
        {random, 0x80000001u},
    };
    for (const auto& [data, target] : cases)
    {
        SCOPED_TRACE(testing::Message() << data.size() << " bytes to 0x" << std::hex << target);
        uint8_t tail[4];
        Crc32cForcingBytes(Crc32c(data.data(), data.size()), target, tail);
        std::vector<uint8_t> forced(data.begin(), data.end());
        forced.insert(forced.end(), tail, tail + 4);
        EXPECT_EQ(ReferenceCrc32c(forced.data(), forced.size()), target);
    }
}
