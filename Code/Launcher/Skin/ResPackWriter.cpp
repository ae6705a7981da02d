#include "ResPackFormat.h"

namespace
{
void AppendU32(std::vector<uint8_t>& image, uint32_t value)
{
    for (size_t i = 0; i < ResPackWordSize; ++i)
        image.push_back(static_cast<uint8_t>(value >> (8 * i)));
}
} // namespace

std::vector<uint8_t> WriteResPackImage(const std::vector<ResPackMember>& members)
{
    std::vector<uint8_t> names;
    for (const ResPackMember& member : members)
    {
        AppendU32(names, static_cast<uint32_t>(member.Name.Length() * 2));
        for (char16_t unit : member.Name)
            names.insert(names.end(), {static_cast<uint8_t>(unit), static_cast<uint8_t>(unit >> 8)});
    }
    const uint32_t count = static_cast<uint32_t>(members.size());
    const uint32_t table = count * ResPackWordSize;
    const uint32_t offsets = static_cast<uint32_t>(ResPackHeaderSize + names.size());
    std::vector<uint8_t> image;
    for (uint32_t word : {ResPackMagic, 0u, count, uint32_t(ResPackHeaderSize), offsets, offsets + table,
                          offsets + 2 * table, offsets + 3 * table})
        AppendU32(image, word);
    image.insert(image.end(), names.begin(), names.end());
    uint32_t data = offsets + 3 * table;
    for (const ResPackMember& member : members)
    {
        AppendU32(image, data);
        data += static_cast<uint32_t>(member.Bytes.size());
    }
    // The size table and its copy.
    for (int copy = 0; copy < 2; ++copy)
        for (const ResPackMember& member : members)
            AppendU32(image, static_cast<uint32_t>(member.Bytes.size()));
    for (const ResPackMember& member : members)
        image.insert(image.end(), member.Bytes.begin(), member.Bytes.end());
    return image;
}
