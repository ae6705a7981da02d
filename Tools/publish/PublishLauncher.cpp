// publish launcher: a launcher build goes out under "<name><version>.exe" with
// LauncherVersion.txt beside it, the version taken from the build itself.
#include "PublishLauncher.h"
#include "PublishSignature.h"
#include "PublishStamp.h"
#include "SelfUpdate.h"

#include "ToolFiles.h"
#include "VersionFile.h"
#include "VersionStamp.h"

#include "xString.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace
{
constexpr uint32_t ResourceTypeVersion = 16; // RT_VERSION
constexpr uint32_t SubdirectoryBit = 0x80000000u;

bool Read16(const std::vector<uint8_t>& bytes, size_t at, uint32_t& value)
{
    if (at > bytes.size() || bytes.size() - at < 2)
        return false;
    value = static_cast<uint32_t>(bytes[at]) | static_cast<uint32_t>(bytes[at + 1]) << 8;
    return true;
}

bool Read32(const std::vector<uint8_t>& bytes, size_t at, uint32_t& value)
{
    uint32_t low = 0, high = 0;
    if (!Read16(bytes, at, low) || !Read16(bytes, at + 2, high))
        return false;
    value = low | high << 16;
    return true;
}

struct Section
{
    uint32_t Address = 0;
    uint32_t Length = 0;
    uint32_t FileOffset = 0;
    uint32_t FileLength = 0;
};

// The file offset of a relative virtual address, inside a section's stored bytes.
bool FileOffsetOf(const std::vector<Section>& sections, uint32_t rva, size_t& offset)
{
    for (const Section& section : sections)
    {
        if (rva >= section.Address && rva - section.Address < section.FileLength)
        {
            offset = static_cast<size_t>(section.FileOffset) + (rva - section.Address);
            return true;
        }
    }
    return false;
}

// The entry of a resource directory level: the one with `id`, or the first
// one when `id` is 0. Returns its OffsetToData field.
bool FindEntry(const std::vector<uint8_t>& image, size_t directory, uint32_t id, uint32_t& target)
{
    uint32_t named = 0, ids = 0;
    if (!Read16(image, directory + 12, named) || !Read16(image, directory + 14, ids))
        return false;
    for (uint32_t i = 0; i < named + ids; ++i)
    {
        uint32_t name = 0;
        const size_t entry = directory + 16 + static_cast<size_t>(i) * 8;
        if (!Read32(image, entry, name) || !Read32(image, entry + 4, target))
            return false;
        if (id == 0 || (i >= named && name == id))
            return true;
    }
    return false;
}

int BadUsage(const char* what)
{
    Fail("%s (see publish --help)", what);
    return 2;
}
} // namespace

bool FindVersionResource(const std::vector<uint8_t>& image, size_t& offset, size_t& size)
{
    uint32_t header = 0, signature = 0, sectionCount = 0, optionalSize = 0, magic = 0;
    if (image.size() < 2 || image[0] != 'M' || image[1] != 'Z' || !Read32(image, 0x3C, header) ||
        !Read32(image, header, signature) || signature != 0x00004550 ||
        !Read16(image, header + 6, sectionCount) || !Read16(image, header + 20, optionalSize) ||
        !Read16(image, header + 24, magic))
        return false;
    const size_t optional = static_cast<size_t>(header) + 24;
    // The data directories follow the optional header's fixed part, which is
    // longer in PE32+; the resource table is the third.
    const size_t directories = optional + (magic == 0x20B ? 112 : 96);
    uint32_t directoryCount = 0, resourceRva = 0;
    if ((magic != 0x10B && magic != 0x20B) || !Read32(image, directories - 4, directoryCount) ||
        directoryCount < 3 || !Read32(image, directories + 16, resourceRva) || resourceRva == 0)
        return false;
    std::vector<Section> sections(sectionCount);
    for (uint32_t i = 0; i < sectionCount; ++i)
    {
        const size_t at = optional + optionalSize + static_cast<size_t>(i) * 40;
        if (!Read32(image, at + 8, sections[i].Length) || !Read32(image, at + 12, sections[i].Address) ||
            !Read32(image, at + 16, sections[i].FileLength) ||
            !Read32(image, at + 20, sections[i].FileOffset))
            return false;
    }
    size_t root = 0;
    if (!FileOffsetOf(sections, resourceRva, root))
        return false;
    // Type, then name, then language (the first name and language will do),
    // then the data entry.
    uint32_t target = 0;
    if (!FindEntry(image, root, ResourceTypeVersion, target) || (target & SubdirectoryBit) == 0)
        return false;
    if (!FindEntry(image, root + (target & ~SubdirectoryBit), 0, target) || (target & SubdirectoryBit) == 0)
        return false;
    if (!FindEntry(image, root + (target & ~SubdirectoryBit), 0, target) || (target & SubdirectoryBit) != 0)
        return false;
    const size_t dataEntry = root + target;
    uint32_t dataRva = 0, dataSize = 0;
    if (!Read32(image, dataEntry, dataRva) || !Read32(image, dataEntry + 4, dataSize) ||
        !FileOffsetOf(sections, dataRva, offset) || offset > image.size() || image.size() - offset < dataSize)
        return false;
    size = dataSize;
    return true;
}

namespace
{
// LauncherVersion.txt: the number, and when `stamped` its expiry on the next
// line. A signed file carries one: a stale file served for ever would hold
// every launcher on its build.
bool MakeVersionFileText(const xString& number, bool stamped, const std::string& expires, std::string& text)
{
    text = std::string(number.c_str()) + "\n";
    if (!stamped)
        return true;
    VersionStamp stamp;
    if (!SetStampExpiry(expires, static_cast<int64_t>(std::time(nullptr)), stamp))
        return false;
    text += std::string(FormatVersionStamp(stamp).c_str()) + "\n";
    return true;
}
} // namespace

int RunLauncher(int argc, char** argv)
{
    std::string exe, out, name, versionText, key, expires;
    for (int i = 2; i < argc; ++i)
    {
        const std::string option = argv[i];
        std::string* value = option == "--exe"       ? &exe
                             : option == "--out"     ? &out
                             : option == "--name"    ? &name
                             : option == "--version" ? &versionText
                             : option == "--key"     ? &key
                             : option == "--expires" ? &expires
                                                     : nullptr;
        if (value == nullptr)
            return BadUsage(("unknown option " + option).c_str());
        if (i + 1 >= argc)
            return BadUsage((option + " needs a value").c_str());
        *value = argv[++i];
    }
    if (exe.empty() || out.empty())
        return BadUsage("publish launcher needs --exe and --out");
    if (name.empty())
        name = fs::path(exe).filename().string();
    if (name.size() < 5 || name.compare(name.size() - 4, 4, ".exe") != 0 ||
        name.find_first_of("/\\:") != name.npos)
        return BadUsage("--name must be a plain file name ending in .exe");
    UpdateSigner signer;
    if (!key.empty() && !signer.Load(key))
        return 1;

    std::vector<uint8_t> image;
    if (!ReadWholeFile(exe, image))
    {
        Fail("cannot read %s: %s", exe.c_str(), std::strerror(errno));
        return 1;
    }
    size_t offset = 0, size = 0;
    const uint32_t version = FindVersionResource(image, offset, size)
                                 ? VersionNumberFromVersionResource(image.data() + offset, size)
                                 : 0;
    if (version == 0)
    {
        Fail("%s carries no version resource the launcher can read", exe.c_str());
        return 1;
    }
    if (!versionText.empty() && versionText != xString(LauncherVersionText(version)).c_str())
    {
        Fail("%s is version %u, not %s", exe.c_str(), version, versionText.c_str());
        return 1;
    }
    if (static_cast<int64_t>(image.size()) < MinimumLauncherBytes)
    {
        Fail("%s has %zu bytes: the launcher starts no build of %lld bytes or fewer", exe.c_str(),
             image.size(), static_cast<long long>(MinimumLauncherBytes - 1));
        return 1;
    }
    if (image.size() > MaxLauncherBytes)
    {
        Fail("%s has %zu bytes: the launcher fetches no build of more than %llu", exe.c_str(), image.size(),
             static_cast<unsigned long long>(MaxLauncherBytes));
        return 1;
    }
    std::error_code error;
    fs::create_directories(out, error);
    const xString versioned(
        VersionedLauncherName(xWString(xString(name.c_str())), LauncherVersionText(version)));
    const fs::path buildPath = fs::path(out) / versioned.c_str();
    const xString number = LauncherVersionText(version);
    std::string line;
    if (!MakeVersionFileText(number, signer.IsLoaded() || !expires.empty(), expires, line))
        return 1;
    // The build first: a version file never names a build that is not there.
    // Each signature goes before its file, so no file stands there unsigned.
    const fs::path versionPath = fs::path(out) / VersionFileFormat::LauncherVersionName;
    if (signer.IsLoaded() && !signer.WriteSignatureFor(buildPath, image.data(), image.size()))
        return 1;
    if (!WriteAtomically(buildPath, image.data(), image.size()))
        return 1;
    if (signer.IsLoaded() && !signer.WriteSignatureFor(versionPath, line.data(), line.size()))
        return 1;
    if (!WriteAtomically(versionPath, line.data(), line.size()))
        return 1;
    std::printf("publish: launcher %u as %s\n", version, buildPath.string().c_str());
    return 0;
}
