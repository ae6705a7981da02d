#pragma once

// Bytes of Windows version resources for the tests: a VS_VERSIONINFO block, and
// a small PE image that carries one, as windres and the linker lay them out.

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

inline void Put16(std::vector<uint8_t>& bytes, uint32_t value)
{
    bytes.push_back(static_cast<uint8_t>(value));
    bytes.push_back(static_cast<uint8_t>(value >> 8));
}

inline void Put32(std::vector<uint8_t>& bytes, uint32_t value)
{
    Put16(bytes, value & 0xFFFF);
    Put16(bytes, value >> 16);
}

// A VS_VERSIONINFO block as windres writes it: header, key, padding, the fixed
// block, then a child block the reader must step over.
inline std::vector<uint8_t> VersionBlock(uint32_t fileVersionMs, uint32_t fileVersionLs,
                                         const std::u16string& key = u"VS_VERSION_INFO",
                                         uint32_t signature = 0xFEEF04BD, uint32_t valueLength = 52)
{
    std::vector<uint8_t> block;
    Put16(block, 0); // total length, filled in below
    Put16(block, valueLength);
    Put16(block, 0);
    for (char16_t unit : key)
        Put16(block, unit);
    Put16(block, 0);
    while (block.size() % 4 != 0)
        block.push_back(0);
    const uint32_t fixed[13] = {signature,
                                0x10000,
                                fileVersionMs,
                                fileVersionLs,
                                fileVersionMs,
                                fileVersionLs,
                                0x3F,
                                0,
                                0x40004,
                                1,
                                0,
                                0,
                                0};
    for (uint32_t field : fixed)
        Put32(block, field);
    for (int i = 0; i < 24; ++i) // a child block
        block.push_back(0x20);
    block[0] = static_cast<uint8_t>(block.size());
    block[1] = static_cast<uint8_t>(block.size() >> 8);
    return block;
}

inline void Put32At(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
}

// A PE32+ image of `fileSize` bytes whose one section, .rsrc, holds the
// resource tree type 16 (RT_VERSION) / name 1 / language 0x804 with `block`.
inline std::vector<uint8_t> PeImageWithVersion(const std::vector<uint8_t>& block, size_t fileSize)
{
    constexpr size_t Header = 0x40, Optional = Header + 24, Sections = Optional + 240, Raw = 0x200;
    constexpr uint32_t SectionRva = 0x1000, BlockAt = 0x58;
    std::vector<uint8_t> image(std::max<size_t>(fileSize, Raw + BlockAt + block.size()), 0);
    image[0] = 'M';
    image[1] = 'Z';
    Put32At(image, 0x3C, Header);
    Put32At(image, Header, 0x00004550);            // "PE\0\0"
    Put32At(image, Header + 4, 0x8664 | 1u << 16); // machine, one section
    Put32At(image, Header + 20, 240);              // optional header size
    Put32At(image, Optional, 0x20B);               // PE32+
    Put32At(image, Optional + 108, 16);            // data directories
    Put32At(image, Optional + 112 + 16, SectionRva);
    Put32At(image, Optional + 112 + 20, static_cast<uint32_t>(BlockAt + block.size()));
    const uint32_t sectionSize = static_cast<uint32_t>(BlockAt + block.size());
    image[Sections] = '.';
    Put32At(image, Sections + 8, sectionSize);
    Put32At(image, Sections + 12, SectionRva);
    Put32At(image, Sections + 16, sectionSize);
    Put32At(image, Sections + 20, Raw);
    // Three directory levels of one id entry each, then the data entry.
    const uint32_t levels[3][2] = {{16, 0x80000018u}, {1, 0x80000030u}, {0x804, 0x48}};
    for (size_t level = 0; level < 3; ++level)
    {
        const size_t at = Raw + level * 0x18;
        Put32At(image, at + 12, 1u << 16); // no named entries, one id entry
        Put32At(image, at + 16, levels[level][0]);
        Put32At(image, at + 20, levels[level][1]);
    }
    Put32At(image, Raw + 0x48, SectionRva + BlockAt);
    Put32At(image, Raw + 0x4C, static_cast<uint32_t>(block.size()));
    std::copy(block.begin(), block.end(), image.begin() + Raw + BlockAt);
    return image;
}
