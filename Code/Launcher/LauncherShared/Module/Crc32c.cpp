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

// Only this function is compiled for SSE4.2, so the program as a whole still
// runs on any x86-64 processor.
__attribute__((target("sse4.2"))) uint32_t Crc32cHardware(const void* data, size_t length, uint32_t start)
{
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    uint32_t crc = ~start;
    while (length > 0 && !IsWordAligned(bytes))
    {
        crc = _mm_crc32_u8(crc, *bytes++);
        --length;
    }
    while (length >= 4)
    {
        crc = _mm_crc32_u32(crc, LoadWord(bytes));
        bytes += 4;
        length -= 4;
    }
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
