#include "Crc32c.h"

#include <array>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define CRC32C_X86 1
#include <cpuid.h>
#include <nmmintrin.h>
#endif

namespace
{
// The reflected Castagnoli polynomial.
constexpr uint32_t Polynomial = 0x82F63B78u;

using SlicingTables = std::array<std::array<uint32_t, 256>, 8>;

// Table k advances a byte that still has k further bytes to pass through, so
// eight bytes can be folded into the sum with eight independent look-ups.
constexpr SlicingTables MakeSlicingTables()
{
    SlicingTables tables{};
    for (uint32_t byte = 0; byte < 256; ++byte)
    {
        uint32_t crc = byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ ((crc & 1u) ? Polynomial : 0u);
        tables[0][byte] = crc;
    }
    for (size_t k = 1; k < 8; ++k)
    {
        for (size_t byte = 0; byte < 256; ++byte)
        {
            const uint32_t previous = tables[k - 1][byte];
            tables[k][byte] = (previous >> 8) ^ tables[0][previous & 0xFFu];
        }
    }
    return tables;
}

constexpr SlicingTables Tables = MakeSlicingTables();

// Sums are defined over little-endian words; every target of this code is little-endian.
inline uint32_t LoadWord(const uint8_t* bytes)
{
    uint32_t word;
    std::memcpy(&word, bytes, sizeof(word));
    return word;
}

inline bool IsWordAligned(const uint8_t* bytes)
{
    return (reinterpret_cast<uintptr_t>(bytes) & 3u) == 0;
}

using Crc32cFunction = uint32_t (*)(const void*, size_t, uint32_t);

Crc32cFunction ChooseImplementation()
{
    return HasCrc32Instruction() ? Crc32cHardware : Crc32cSoftware;
}
} // namespace

uint32_t Crc32cSoftware(const void* data, size_t length, uint32_t start)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    uint32_t crc = ~start;
    while (length > 0 && !IsWordAligned(bytes))
    {
        crc = (crc >> 8) ^ Tables[0][(crc ^ *bytes++) & 0xFFu];
        --length;
    }
    while (length >= 8)
    {
        const uint32_t low = LoadWord(bytes) ^ crc;
        const uint32_t high = LoadWord(bytes + 4);
        crc = Tables[7][low & 0xFFu] ^ Tables[6][(low >> 8) & 0xFFu] ^ Tables[5][(low >> 16) & 0xFFu] ^
              Tables[4][low >> 24] ^ Tables[3][high & 0xFFu] ^ Tables[2][(high >> 8) & 0xFFu] ^
              Tables[1][(high >> 16) & 0xFFu] ^ Tables[0][high >> 24];
        bytes += 8;
        length -= 8;
    }
    while (length > 0)
    {
        crc = (crc >> 8) ^ Tables[0][(crc ^ *bytes++) & 0xFFu];
        --length;
    }
    return ~crc;
}

#ifdef CRC32C_X86

bool HasCrc32Instruction()
{
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx))
        return false;
    // SSE4.2, which brought the crc32 instruction.
    return (ecx & (1u << 20)) != 0;
}

namespace
{
// The crc32 instruction takes three cycles but can start one every cycle, so a
// block is summed as three independent streams that are joined afterwards. Long
// blocks keep the joins rare; short ones still interleave a few KiB that do not
// fill a long block.
constexpr size_t LongBlock = 8192;
constexpr size_t ShortBlock = 256;

// The register after `count` zero bytes, as a linear map applied byte by byte:
// joining two streams is shifting the first over the length of the second.
struct ZeroShift
{
    std::array<std::array<uint32_t, 256>, 4> Parts;

    explicit ZeroShift(size_t count)
    {
        uint32_t images[32];
        for (int bit = 0; bit < 32; ++bit)
        {
            uint32_t crc = 1u << bit;
            for (size_t step = 0; step < count; ++step)
                crc = (crc >> 8) ^ Tables[0][crc & 0xFFu];
            images[bit] = crc;
        }
        for (int part = 0; part < 4; ++part)
        {
            for (uint32_t byte = 0; byte < 256; ++byte)
            {
                uint32_t image = 0;
                for (int bit = 0; bit < 8; ++bit)
                    image ^= (byte >> bit) & 1u ? images[8 * part + bit] : 0u;
                Parts[part][byte] = image;
            }
        }
    }

    uint32_t operator()(uint32_t crc) const
    {
        return Parts[0][crc & 0xFFu] ^ Parts[1][(crc >> 8) & 0xFFu] ^ Parts[2][(crc >> 16) & 0xFFu] ^
               Parts[3][crc >> 24];
    }
};

struct ZeroShifts
{
    ZeroShift Long{LongBlock};
    ZeroShift Short{ShortBlock};
};

const ZeroShifts& Shifts()
{
    static const ZeroShifts shifts;
    return shifts;
}

inline uint64_t LoadDoubleWord(const uint8_t* bytes)
{
    uint64_t word;
    std::memcpy(&word, bytes, sizeof(word));
    return word;
}

__attribute__((target("sse4.2"))) inline uint32_t StepEight(uint32_t crc, const uint8_t* bytes)
{
#ifdef __x86_64__
    return static_cast<uint32_t>(_mm_crc32_u64(crc, LoadDoubleWord(bytes)));
#else
    return _mm_crc32_u32(_mm_crc32_u32(crc, LoadWord(bytes)), LoadWord(bytes + 4));
#endif
}

// Sums three consecutive blocks of `block` bytes as three streams, the second and
// third from a zero register, and joins them into the register after all three.
__attribute__((target("sse4.2"))) inline uint32_t ThreeStreams(uint32_t crc, const uint8_t* bytes,
                                                               size_t block, const ZeroShift& shift)
{
    uint32_t first = crc, second = 0, third = 0;
    for (size_t at = 0; at < block; at += 8)
    {
        first = StepEight(first, bytes + at);
        second = StepEight(second, bytes + block + at);
        third = StepEight(third, bytes + 2 * block + at);
    }
    return shift(shift(first) ^ second) ^ third;
}
} // namespace

// Only these functions are compiled for SSE4.2, so the program as a whole still
// runs on any x86-64 processor.
__attribute__((target("sse4.2"))) uint32_t Crc32cHardware(const void* data, size_t length, uint32_t start)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    uint32_t crc = ~start;
    while (length > 0 && (reinterpret_cast<uintptr_t>(bytes) & 7u) != 0)
    {
        crc = _mm_crc32_u8(crc, *bytes++);
        --length;
    }
    if (length >= 3 * ShortBlock)
    {
        const ZeroShifts& shifts = Shifts();
        for (; length >= 3 * LongBlock; bytes += 3 * LongBlock, length -= 3 * LongBlock)
            crc = ThreeStreams(crc, bytes, LongBlock, shifts.Long);
        for (; length >= 3 * ShortBlock; bytes += 3 * ShortBlock, length -= 3 * ShortBlock)
            crc = ThreeStreams(crc, bytes, ShortBlock, shifts.Short);
    }
    for (; length >= 8; bytes += 8, length -= 8)
        crc = StepEight(crc, bytes);
    while (length > 0)
    {
        crc = _mm_crc32_u8(crc, *bytes++);
        --length;
    }
    return ~crc;
}

#else

bool HasCrc32Instruction()
{
    return false;
}

uint32_t Crc32cHardware(const void* data, size_t length, uint32_t start)
{
    return Crc32cSoftware(data, length, start);
}

#endif

uint32_t Crc32c(const void* data, size_t length, uint32_t start)
{
    // Decided once; a function-local static is initialised exactly once even
    // when several threads make the first call together.
    static const Crc32cFunction chosen = ChooseImplementation();
    return chosen(data, length, start);
}

void Crc32cForcingBytes(uint32_t current, uint32_t target, uint8_t bytes[4])
{
    const std::array<uint32_t, 256>& table = Tables[0];
    // The register runs complemented: the sum's start and end are negated.
    uint32_t wanted = ~target;
    uint8_t indices[4];
    for (int step = 3; step >= 0; --step)
    {
        uint32_t index = 0;
        while ((table[index] >> 24) != (wanted >> 24))
            ++index;
        indices[step] = static_cast<uint8_t>(index);
        wanted = (wanted ^ table[index]) << 8;
    }
    uint32_t crc = ~current;
    for (int step = 0; step < 4; ++step)
    {
        bytes[step] = static_cast<uint8_t>((crc ^ indices[step]) & 0xFFu);
        crc = (crc >> 8) ^ table[indices[step]];
    }
}
