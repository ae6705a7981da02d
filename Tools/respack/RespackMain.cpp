// Packs every regular file of a folder (not its sub-folders) into a resource
// pack: the layout the launcher's ResPack reads, in an Lzma86 container.
#include "Lzma86.h"
#include "ResPackFormat.h"

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
// The launcher's own build reads the pack with a 4 MiB window in mind; a larger
// dictionary would gain nothing on a skin of a few hundred KiB.
constexpr uint32_t DictionarySize = 1u << 22;

struct Member
{
    ResPackMember Packed;
    std::string DisplayName;
};

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
        member.Packed.Name = xWString(name.data(), name.size());
        if (!ReadWholeFile(entry.path(), member.Packed.Bytes))
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
                  const int folded = CompareNoCase(left.Packed.Name, right.Packed.Name);
                  return folded != 0 ? folded < 0 : left.Packed.Name < right.Packed.Name;
              });
    for (size_t i = 1; i < members.size(); ++i)
    {
        // The launcher would only ever find the first of the two.
        if (EqualsNoCase(members[i - 1].Packed.Name, members[i].Packed.Name))
        {
            Fail("%s and %s differ only in case", members[i - 1].DisplayName.c_str(),
                 members[i].DisplayName.c_str());
            return 1;
        }
    }

    std::vector<ResPackMember> packed;
    for (Member& member : members)
        packed.push_back(std::move(member.Packed));
    const std::vector<uint8_t> image = WriteResPackImage(packed);
    if (image.size() > Lzma86MaxUnpackedSize)
    {
        Fail("the pack would take %llu bytes; the launcher unpacks at most %llu",
             static_cast<unsigned long long>(image.size()),
             static_cast<unsigned long long>(Lzma86MaxUnpackedSize));
        return 1;
    }
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
