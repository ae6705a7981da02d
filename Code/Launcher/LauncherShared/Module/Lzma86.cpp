#include "Lzma86.h"

#include "xLogLine.h"

#include <LzmaDec.h>
#include <LzmaEnc.h>

#include <cstdlib>
#include <new>

namespace
{
constexpr size_t PropertiesOffset = 1;
constexpr size_t SizeOffset = 6;

void* SdkAlloc(void*, size_t size)
{
    return size == 0 ? nullptr : std::malloc(size);
}

void SdkFree(void*, void* address)
{
    std::free(address);
}

ISzAlloc SdkAllocator = {SdkAlloc, SdkFree};

bool ReadUnpackedSize(const uint8_t* data, size_t length, uint64_t& size)
{
    if (data == nullptr || length < Lzma86HeaderSize)
        return false;
    size = 0;
    for (int i = 7; i >= 0; --i)
        size = (size << 8) | data[SizeOffset + static_cast<size_t>(i)];
    return true;
}

// An operand's top byte is 0x00 or 0xFF when the target lies within 16 MiB of
// the instruction: the only operands worth converting.
inline bool LooksNear(uint8_t topByte)
{
    return topByte == 0x00 || topByte == 0xFF;
}

void X86Convert(uint8_t* data, size_t length, bool encoding)
{
    if (length < 5)
        return;
    // Opcode bytes left alone in the three bytes before the current one: bit k
    // stands for the one k bytes back (k = 1..3). `skippedNear` marks those whose
    // own operand's top byte looked near. The current byte may then be part of
    // such an instruction rather than an instruction of its own.
    unsigned skipped = 0;
    unsigned skippedNear = 0;
    bool haveLast = false;
    size_t lastOpcode = 0;

    size_t position = 0;
    const size_t end = length - 4;
    while (position < end)
    {
        const uint8_t opcode = data[position];
        if (opcode != 0xE8 && opcode != 0xE9)
        {
            ++position;
            continue;
        }
        const size_t distance = haveLast ? position - lastOpcode : 4;
        if (distance > 3)
        {
            skipped = 0;
            skippedNear = 0;
        }
        else
        {
            skipped = (skipped << distance) & 0xEu;
            skippedNear = (skippedNear << distance) & 0xEu;
        }
        haveLast = true;
        lastOpcode = position;

        const uint8_t top = data[position + 4];
        // At most one skipped opcode close by, and none of them with a near-looking operand.
        const bool plausible = (skipped & (skipped - 1)) == 0 && skippedNear == 0;
        if (!LooksNear(top) || !plausible)
        {
            skipped |= 1u;
            if (LooksNear(top))
                skippedNear |= 1u;
            ++position;
            continue;
        }

        uint32_t operand =
            static_cast<uint32_t>(data[position + 1]) | (static_cast<uint32_t>(data[position + 2]) << 8) |
            (static_cast<uint32_t>(data[position + 3]) << 16) | (static_cast<uint32_t>(top) << 24);
        // Addresses are 32-bit, counted from the end of the instruction.
        const uint32_t next = static_cast<uint32_t>(position + 5);
        uint32_t converted = 0;
        for (;;)
        {
            converted = encoding ? operand + next : operand - next;
            if (skipped == 0)
                break;
            // The result overlaps the top byte of the skipped opcode just before. The
            // decoder has to skip that opcode too, so the byte must keep not looking
            // near; flipping the bits below it keeps the conversion reversible. That
            // byte did not look near on entry (skippedNear is clear), which bounds
            // this loop to two turns.
            const unsigned back = skipped == 2u ? 1u : (skipped == 4u ? 2u : 3u);
            const uint8_t overlapping = static_cast<uint8_t>(converted >> (24 - back * 8));
            if (!LooksNear(overlapping))
                break;
            operand = converted ^ ((1u << (32 - back * 8)) - 1u);
        }
        // Only 25 bits are kept: the top byte is the sign of a 25-bit value.
        data[position + 1] = static_cast<uint8_t>(converted);
        data[position + 2] = static_cast<uint8_t>(converted >> 8);
        data[position + 3] = static_cast<uint8_t>(converted >> 16);
        data[position + 4] = (converted & (1u << 24)) != 0 ? 0xFF : 0x00;
        position += 5;
        skipped = 0;
        skippedNear = 0;
    }
}

void LogDecodeFailure()
{
    LogErrorLine("Failed to Lzma86_Decode");
}
} // namespace

void X86FilterEncode(uint8_t* data, size_t length)
{
    X86Convert(data, length, true);
}

void X86FilterDecode(uint8_t* data, size_t length)
{
    X86Convert(data, length, false);
}

bool DecodeLzma86(const uint8_t* data, size_t length, std::vector<uint8_t>& output)
{
    uint64_t announced = 0;
    if (!ReadUnpackedSize(data, length, announced) || announced > Lzma86MaxUnpackedSize)
    {
        LogErrorLine("Failed to Lzma86_GetUnpackSize");
        return false;
    }
    try
    {
        output.resize(static_cast<size_t>(announced));
    }
    catch (const std::bad_alloc&)
    {
        // Up to 1 GiB may be announced; a process that cannot have it fails this one call.
        LogDecodeFailure();
        return false;
    }

    SizeT produced = static_cast<SizeT>(announced);
    bool decoded = false;
    const uint8_t filter = data[0];
    if (filter <= 1)
    {
        SizeT consumed = length - Lzma86HeaderSize;
        ELzmaStatus status = LZMA_STATUS_NOT_SPECIFIED;
        // LZMA_FINISH_ANY: the stream may or may not carry an end mark after the
        // announced bytes; either way decoding stops there.
        const SRes result =
            LzmaDecode(output.data(), &produced, data + Lzma86HeaderSize, &consumed, data + PropertiesOffset,
                       LZMA_PROPS_SIZE, LZMA_FINISH_ANY, &status, &SdkAllocator);
        decoded = result == SZ_OK;
        if (decoded && filter == 1)
            X86FilterDecode(output.data(), produced);
    }
    else
    {
        produced = 0;
    }
    if (!decoded)
        LogDecodeFailure();
    if (produced != announced)
    {
        LogDecodeFailure();
        return false;
    }
    return decoded;
}

bool EncodeLzma86(const uint8_t* data, size_t length, bool useX86Filter, std::vector<uint8_t>& output,
                  const Lzma86EncodeOptions& options)
{
    std::vector<uint8_t> filtered;
    const uint8_t* source = data;
    if (useX86Filter && length > 0)
    {
        filtered.assign(data, data + length);
        X86FilterEncode(filtered.data(), filtered.size());
        source = filtered.data();
    }

    CLzmaEncProps properties;
    LzmaEncProps_Init(&properties);
    properties.level = options.Level;
    properties.dictSize = options.DictionarySize;
    properties.lc = 3;
    properties.lp = 0;
    properties.pb = 2;
    properties.numThreads = 1;

    // Incompressible input grows by a small fraction; this leaves room for it.
    const size_t capacity = length + length / 16 + (1u << 16);
    std::vector<uint8_t> packed(Lzma86HeaderSize + capacity);
    packed[0] = useX86Filter ? 1 : 0;
    for (size_t i = 0; i < 8; ++i)
        packed[SizeOffset + i] = static_cast<uint8_t>(static_cast<uint64_t>(length) >> (8 * i));

    SizeT streamLength = capacity;
    SizeT propertiesLength = LZMA_PROPS_SIZE;
    // The unpacked size is in the header, so the stream needs no end mark.
    const SRes result = LzmaEncode(packed.data() + Lzma86HeaderSize, &streamLength, source, length,
                                   &properties, packed.data() + PropertiesOffset, &propertiesLength, 0,
                                   nullptr, &SdkAllocator, &SdkAllocator);
    if (result != SZ_OK || propertiesLength != LZMA_PROPS_SIZE)
    {
        LogErrorLine("Failed to LzmaEncode (error %d)", result);
        return false;
    }
    packed.resize(Lzma86HeaderSize + streamLength);
    output.swap(packed);
    return true;
}
