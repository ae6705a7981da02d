#include "ResPack.h"

#include "Lzma86.h"

#include "xFileSystem.h"
#include "xLogLine.h"
#include "xStringOps.h"

#include <cstring>
#include <memory>
#include <utility>

namespace
{
uint32_t ReadU32(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | (static_cast<uint32_t>(bytes[1]) << 8) |
           (static_cast<uint32_t>(bytes[2]) << 16) | (static_cast<uint32_t>(bytes[3]) << 24);
}

// Whether `length` bytes from `offset` lie inside `size` bytes. Done in 64 bits:
// the pack's u32 offsets plus sizes can overflow 32.
bool Fits(uint64_t offset, uint64_t length, uint64_t size)
{
    return offset <= size && length <= size - offset;
}

bool ReadTable(const std::vector<uint8_t>& image, uint32_t offset, uint32_t count,
               std::vector<uint32_t>& table)
{
    if (!Fits(offset, uint64_t(count) * ResPackWordSize, image.size()))
        return false;
    table.resize(count);
    for (uint32_t i = 0; i < count; ++i)
        table[i] = ReadU32(image.data() + offset + size_t(i) * ResPackWordSize);
    return true;
}

// For %llu, which both C libraries (glibc, msvcrt) take.
unsigned long long Wide(uint64_t value)
{
    return static_cast<unsigned long long>(value);
}

// The name's UTF-16LE units up to its first NUL.
xWString ReadName(const uint8_t* bytes, uint32_t byteLength)
{
    xWString name;
    for (uint32_t i = 0; i + 1 < byteLength; i += 2)
    {
        const char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        if (unit == 0)
            break;
        name.Append(unit);
    }
    return name;
}
} // namespace

ResPack& TheResPack()
{
    // Never destroyed: lookups may still come while the process goes down.
    static ResPack* const pack = new ResPack();
    return *pack;
}

void ResPack::Load()
{
    std::vector<uint8_t> container;
    if (!ReadResPackResource(container) || container.empty())
        return;
    LoadFromContainer(container.data(), container.size());
}

bool ResPack::LoadFromContainer(const uint8_t* data, size_t length)
{
    std::vector<uint8_t> image;
    if (!DecodeLzma86(data, length, image))
    {
        Clear();
        LogErrorLine("ResPack damaged: the %llu-byte container could not be unpacked", Wide(length));
        return false;
    }
    return LoadFromImage(std::move(image));
}

bool ResPack::LoadFromImage(std::vector<uint8_t> image)
{
    // Whatever was loaded before goes, also when this pack turns out damaged.
    Clear();
    const uint64_t size = image.size();
    if (size < ResPackHeaderSize)
    {
        LogErrorLine("ResPack damaged: %llu bytes are fewer than the 32-byte header", Wide(size));
        return false;
    }

    // The header's words in order (ResPackHeader is just them), each read little-endian.
    uint32_t words[ResPackHeaderSize / ResPackWordSize];
    for (size_t i = 0; i < ResPackHeaderSize / ResPackWordSize; ++i)
        words[i] = ReadU32(image.data() + i * ResPackWordSize);
    ResPackHeader header;
    std::memcpy(&header, words, sizeof header);
    const uint32_t count = header.FileCount;

    // The tables first: they bound the count by the image's size before any
    // per-member storage is made.
    std::vector<uint32_t> offsets, sizes, secondSizes;
    if (!ReadTable(image, header.OffsetTableOffset, count, offsets) ||
        !ReadTable(image, header.SizeTableOffset, count, sizes) ||
        !ReadTable(image, header.SecondSizeTableOffset, count, secondSizes))
    {
        LogErrorLine(
            "ResPack damaged: the tables of %u members at 0x%X, 0x%X and 0x%X do not fit in %llu bytes",
            count, header.OffsetTableOffset, header.SizeTableOffset, header.SecondSizeTableOffset,
            Wide(size));
        return false;
    }

    std::vector<xWString> names(count);
    uint64_t position = header.NameTableOffset;
    for (uint32_t i = 0; i < count; ++i)
    {
        if (!Fits(position, ResPackWordSize, size))
        {
            LogErrorLine("ResPack damaged: the length of name %u at 0x%llX lies past the end of %llu bytes",
                         i, Wide(position), Wide(size));
            return false;
        }
        const uint32_t byteLength = ReadU32(image.data() + position);
        position += ResPackWordSize;
        if (!Fits(position, byteLength, size))
        {
            LogErrorLine("ResPack damaged: name %u (%u bytes at 0x%llX) reaches past the end of %llu bytes",
                         i, byteLength, Wide(position), Wide(size));
            return false;
        }
        names[i] = ReadName(image.data() + position, byteLength);
        position += byteLength;
    }

    for (uint32_t i = 0; i < count; ++i)
    {
        if (!Fits(offsets[i], sizes[i], size))
        {
            LogErrorLine("ResPack damaged: member %u (%u bytes at 0x%X) reaches past the end of %llu bytes",
                         i, sizes[i], offsets[i], Wide(size));
            return false;
        }
    }

    Image = std::move(image);
    HeaderWords = header;
    MemberNames = std::move(names);
    MemberOffsets = std::move(offsets);
    MemberSizes = std::move(sizes);
    MemberSecondSizes = std::move(secondSizes);
    return true;
}

void ResPack::Clear()
{
    Image.clear();
    HeaderWords = ResPackHeader();
    MemberNames.clear();
    MemberOffsets.clear();
    MemberSizes.clear();
    MemberSecondSizes.clear();
}

ptrdiff_t ResPack::Find(const xWString& name) const
{
    for (size_t i = 0; i < MemberNames.size(); ++i)
    {
        if (EqualsNoCase(MemberNames[i], name))
            return static_cast<ptrdiff_t>(i);
    }
    return -1;
}

bool ResPack::GetFile(const xWString& name, std::vector<uint8_t>& bytes) const
{
    const ptrdiff_t index = Find(name);
    if (index < 0)
        return false;
    const uint8_t* member = Image.data() + MemberOffsets[size_t(index)];
    bytes.assign(member, member + MemberSizes[size_t(index)]);
    return true;
}

bool ResPack::ExtractFile(const xWString& name, const xWString& path) const
{
    const ptrdiff_t index = Find(name);
    if (index < 0)
        return false;
    std::unique_ptr<xFile> file = xFileSystem().OpenWrite(path, false, false);
    if (!file)
        return false;
    // A short write goes unnoticed: the callers only need to know the file could be made.
    file->Write(Image.data() + MemberOffsets[size_t(index)], MemberSizes[size_t(index)]);
    file->Close();
    return true;
}
