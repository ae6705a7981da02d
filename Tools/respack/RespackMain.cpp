// Packs every regular file of a folder (not its sub-folders) into a resource
// pack: the layout the launcher's ResPack reads, in an Lzma86 container.
#include "Lzma86.h"

#include "ToolFiles.h"

#include "xString.h"
#include "xStringOps.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace
{
constexpr uint32_t PackMagic = 0x00010345;
constexpr uint32_t HeaderSize = 32;
// The launcher's own build reads the pack with a 4 MiB window in mind; a larger
// dictionary would gain nothing on a skin of a few hundred KiB.
constexpr uint32_t DictionarySize = 1u << 22;

struct Member
{
    xWString Name;
    std::string DisplayName;
    std::vector<uint8_t> Bytes;
};

void PutU32(std::vector<uint8_t>& image, size_t offset, uint32_t value)
{
    for (size_t i = 0; i < 4; ++i)
        image[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

// Header, name table, offset table, size table, the second size table (a copy
// of the sizes), then the members back to back in name order.
std::vector<uint8_t> BuildImage(const std::vector<Member>& members)
{
    const uint32_t count = static_cast<uint32_t>(members.size());
    size_t nameTableSize = 0;
    for (const Member& member : members)
        nameTableSize += 4 + member.Name.Length() * 2;
    const size_t offsetTable = HeaderSize + nameTableSize;
    const size_t sizeTable = offsetTable + size_t(count) * 4;
    const size_t secondSizeTable = sizeTable + size_t(count) * 4;
    const size_t dataOffset = secondSizeTable + size_t(count) * 4;
    size_t total = dataOffset;
    for (const Member& member : members)
        total += member.Bytes.size();

    std::vector<uint8_t> image(total);
    const uint32_t header[8] = {PackMagic,
                                0,
                                count,
                                HeaderSize,
                                static_cast<uint32_t>(offsetTable),
                                static_cast<uint32_t>(sizeTable),
                                static_cast<uint32_t>(secondSizeTable),
                                static_cast<uint32_t>(dataOffset)};
    for (size_t i = 0; i < 8; ++i)
        PutU32(image, i * 4, header[i]);

    size_t name = HeaderSize;
    size_t data = dataOffset;
    for (uint32_t i = 0; i < count; ++i)
    {
        const Member& member = members[i];
        PutU32(image, name, static_cast<uint32_t>(member.Name.Length() * 2));
        name += 4;
        for (char16_t unit : member.Name)
        {
            image[name++] = static_cast<uint8_t>(unit);
            image[name++] = static_cast<uint8_t>(unit >> 8);
        }
        const uint32_t size = static_cast<uint32_t>(member.Bytes.size());
        PutU32(image, offsetTable + size_t(i) * 4, static_cast<uint32_t>(data));
        PutU32(image, sizeTable + size_t(i) * 4, size);
        PutU32(image, secondSizeTable + size_t(i) * 4, size);
        std::copy(member.Bytes.begin(), member.Bytes.end(), image.begin() + static_cast<ptrdiff_t>(data));
        data += size;
    }
    return image;
}

bool CollectMembers(const fs::path& folder, std::vector<Member>& members)
{
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error)
    {
        Fail("cannot list %s: %s", folder.c_str(), error.message().c_str());
        return false;
    }
    for (const fs::directory_entry& entry : entries)
    {
        if (!entry.is_regular_file(error))
            continue;
        Member member;
        member.DisplayName = entry.path().filename().string();
        std::u16string name;
        try
        {
            name = entry.path().filename().u16string();
        }
        catch (const std::exception&)
        {
            Fail("%s: the file name is not UTF-8", member.DisplayName.c_str());
            return false;
        }
        member.Name = xWString(name.data(), name.size());
        if (!ReadWholeFile(entry.path(), member.Bytes))
        {
            Fail("cannot read %s: %s", entry.path().c_str(), std::strerror(errno));
            return false;
        }
        members.push_back(std::move(member));
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    SetToolName("respack");
    if (argc != 3)
    {
        std::fprintf(stderr,
                     "usage: respack SOURCE_DIR OUTPUT_FILE\n"
                     "Packs every regular file of SOURCE_DIR (not its sub-folders) into a resource pack.\n");
        return 2;
    }
    const fs::path source = argv[1];
    const fs::path output = argv[2];
    std::error_code error;
    if (!fs::is_directory(source, error))
    {
        Fail("%s is not a folder", source.c_str());
        return 1;
    }

    std::vector<Member> members;
    if (!CollectMembers(source, members))
        return 1;
    if (members.empty())
    {
        Fail("%s holds no files to pack", source.c_str());
        return 1;
    }

    // Sorted ignoring case as the launcher compares names; ties by the exact
    // units keep the output the same from run to run.
    std::sort(members.begin(), members.end(),
              [](const Member& left, const Member& right)
              {
                  const int folded = CompareNoCase(left.Name, right.Name);
                  return folded != 0 ? folded < 0 : left.Name < right.Name;
              });
    for (size_t i = 1; i < members.size(); ++i)
    {
        // The launcher would only ever find the first of the two.
        if (EqualsNoCase(members[i - 1].Name, members[i].Name))
        {
            Fail("%s and %s differ only in case", members[i - 1].DisplayName.c_str(),
                 members[i].DisplayName.c_str());
            return 1;
        }
    }

    uint64_t total = HeaderSize;
    for (const Member& member : members)
        total += 4 + uint64_t(member.Name.Length()) * 2 + 12 + member.Bytes.size();
    if (total > Lzma86MaxUnpackedSize)
    {
        Fail("the pack would take %llu bytes; the launcher unpacks at most %llu",
             static_cast<unsigned long long>(total), static_cast<unsigned long long>(Lzma86MaxUnpackedSize));
        return 1;
    }

    const std::vector<uint8_t> image = BuildImage(members);
    std::vector<uint8_t> container;
    Lzma86EncodeOptions options;
    options.DictionarySize = DictionarySize;
    options.Level = 9;
    if (!EncodeLzma86(image.data(), image.size(), false, container, options))
    {
        Fail("compressing %zu bytes failed", image.size());
        return 1;
    }
    // A half-written pack must never look up to date to the next build.
    if (!WriteAtomically(output, container.data(), container.size()))
        return 1;
    std::printf("respack: %zu members, %zu bytes, packed into %zu bytes: %s\n", members.size(), image.size(),
                container.size(), output.string().c_str());
    return 0;
}
