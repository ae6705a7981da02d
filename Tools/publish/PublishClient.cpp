// publish client: the package and the manifest the launcher fetches.
#include "PublishCommon.h"

#include "Crc32c.h"
#include "Lzma86.h"
#include "Xxh32.h"

#include "ToolFiles.h"

#include "xString.h"
#include "xStringOps.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// The launcher keeps package sums in 32 bits and reads signed sizes here and there.
constexpr uint64_t MaxPackageSize = 0x7FFFFFFF;

std::string XmlEscaped(const std::string& text)
{
    std::string out;
    for (char c : text)
    {
        switch (c)
        {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

bool EndsWithNoCase(const std::string& text, const char* suffix)
{
    const size_t length = std::strlen(suffix);
    if (text.size() < length)
        return false;
    for (size_t i = 0; i < length; ++i)
    {
        const char a = text[text.size() - length + i];
        const char lower = (a >= 'A' && a <= 'Z') ? static_cast<char>(a - 'A' + 'a') : a;
        if (lower != suffix[i])
            return false;
    }
    return true;
}

struct ClientFile
{
    std::string Name; // UTF-8, "/" between folders
    xWString WideName;
    fs::path Path;
};

bool CollectClientFiles(const fs::path& source, std::vector<ClientFile>& files)
{
    std::error_code error;
    fs::recursive_directory_iterator it(source, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
    {
        std::error_code kindError;
        if (!it->is_regular_file(kindError))
            continue;
        ClientFile file;
        file.Path = it->path();
        file.Name = file.Path.lexically_relative(source).generic_string();
        if (!IsValidUtf8(file.Name))
        {
            Fail("%s: the name is not valid UTF-8", file.Path.c_str());
            return false;
        }
        if (file.Name.find_first_of("\\:") != std::string::npos || HasControlCharacter(file.Name))
        {
            Fail("%s: names may not hold \"\\\", \":\" or control characters", file.Path.c_str());
            return false;
        }
        file.WideName = xWString(xString(file.Name.c_str()));
        files.push_back(std::move(file));
    }
    if (error)
    {
        Fail("cannot list %s: %s", source.c_str(), error.message().c_str());
        return false;
    }
    // Case-folded order, ties by the exact units, so that names the launcher's
    // file system cannot tell apart sit side by side and runs are repeatable.
    std::sort(files.begin(), files.end(),
              [](const ClientFile& left, const ClientFile& right)
              {
                  const int folded = CompareNoCase(left.WideName, right.WideName);
                  return folded != 0 ? folded < 0 : left.WideName < right.WideName;
              });
    for (size_t i = 1; i < files.size(); ++i)
    {
        if (EqualsNoCase(files[i - 1].WideName, files[i].WideName))
        {
            Fail("%s and %s differ only in case", files[i - 1].Name.c_str(), files[i].Name.c_str());
            return false;
        }
    }
    return true;
}

bool IsInside(const fs::path& inner, const fs::path& outer)
{
    std::error_code error;
    const fs::path a = fs::weakly_canonical(inner, error);
    const fs::path b = fs::weakly_canonical(outer, error);
    const fs::path relative = a.lexically_relative(b);
    return !relative.empty() && *relative.begin() != "..";
}

bool IsValidVersionText(const std::string& text)
{
    return !text.empty() && IsValidUtf8(text) && !HasControlCharacter(text) &&
           text.find_first_of("/\\:,=*?\"<>|") == std::string::npos;
}

} // namespace

int RunClient(int argc, char** argv)
{
    std::string source, version, out;
    bool withXx = false;
    int level = 5;
    for (int i = 2; i < argc; ++i)
    {
        const std::string option = argv[i];
        std::string levelText;
        if (option == "--source"    ? !TakeValue(argc, argv, i, source)
            : option == "--version" ? !TakeValue(argc, argv, i, version)
            : option == "--out"     ? !TakeValue(argc, argv, i, out)
            : option == "--level"   ? !TakeValue(argc, argv, i, levelText)
                                    : false)
            return 2;
        if (option == "--xx")
            withXx = true;
        else if (option == "--level")
        {
            char* end = nullptr;
            const long value = std::strtol(levelText.c_str(), &end, 10);
            if (levelText.empty() || *end != '\0' || value < 0 || value > 9)
                return BadUsage("--level takes 0 to 9");
            level = static_cast<int>(value);
        }
        else if (option != "--source" && option != "--version" && option != "--out")
            return BadUsage(("unknown option " + option).c_str());
    }
    if (source.empty() || version.empty() || out.empty())
        return BadUsage("publish client needs --source, --version and --out");
    if (!IsValidVersionText(version))
        return BadUsage(
            "the version must be UTF-8 without control characters or any of / \\ : , = * ? \" < > |");
    std::error_code error;
    if (!fs::is_directory(source, error))
    {
        Fail("%s is not a folder", source.c_str());
        return 1;
    }
    if (IsInside(out, source))
    {
        Fail("the output folder %s lies inside the client folder %s", out.c_str(), source.c_str());
        return 1;
    }
    std::vector<ClientFile> files;
    if (!CollectClientFiles(source, files))
        return 1;
    if (files.empty())
    {
        Fail("%s holds no files", source.c_str());
        return 1;
    }

    Lzma86EncodeOptions options;
    options.Level = level;
    std::vector<uint8_t> package;
    std::string entries;
    size_t compressedCount = 0;
    for (const ClientFile& file : files)
    {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(file.Path, bytes))
        {
            Fail("cannot read %s: %s", file.Path.c_str(), std::strerror(errno));
            return 1;
        }
        std::vector<uint8_t> container;
        const bool useFilter = EndsWithNoCase(file.Name, ".exe") || EndsWithNoCase(file.Name, ".dll");
        if (!bytes.empty() && bytes.size() <= Lzma86MaxUnpackedSize &&
            !EncodeLzma86(bytes.data(), bytes.size(), useFilter, container, options))
        {
            Fail("compressing %s failed", file.Name.c_str());
            return 1;
        }
        const bool compressed = !container.empty() && container.size() < bytes.size();
        const std::vector<uint8_t>& data = compressed ? container : bytes;
        if (package.size() + data.size() > MaxPackageSize)
        {
            Fail("the package would reach 2 GiB at %s; the launcher reads less", file.Name.c_str());
            return 1;
        }
        char numbers[200];
        std::snprintf(numbers, sizeof numbers, "\" origSize=\"%zu\" origCRC32C=\"%u\"", bytes.size(),
                      Crc32c(bytes.data(), bytes.size()));
        entries += "<file name=\"" + XmlEscaped(file.Name) + numbers;
        if (withXx)
        {
            std::snprintf(numbers, sizeof numbers, " xx=\"%u\"", Xxh32(bytes.data(), bytes.size()));
            entries += numbers;
        }
        std::snprintf(numbers, sizeof numbers, " startPos=\"%zu\" dataSize=\"%zu\" bCompressed=\"%d\"/>\n",
                      package.size(), data.size(), compressed ? 1 : 0);
        entries += numbers;
        package.insert(package.end(), data.begin(), data.end());
        compressedCount += compressed ? 1 : 0;
    }

    char root[160];
    std::snprintf(root, sizeof root, "<package totalSize=\"%zu\" crc32c=\"%u\"", package.size(),
                  Crc32c(package.data(), package.size()));
    std::string xml = root;
    if (withXx)
    {
        std::snprintf(root, sizeof root, " xx=\"%u\"", Xxh32(package.data(), package.size()));
        xml += root;
    }
    xml += ">\n" + entries + "</package>\n";
    std::vector<uint8_t> manifest;
    if (!EncodeLzma86(reinterpret_cast<const uint8_t*>(xml.data()), xml.size(), false, manifest, options))
    {
        Fail("compressing the manifest failed");
        return 1;
    }

    fs::create_directories(out, error);
    if (error)
    {
        Fail("cannot create %s: %s", out.c_str(), error.message().c_str());
        return 1;
    }
    const fs::path packagePath = fs::path(out) / fs::u8path("Startup" + version + ".pkg");
    const fs::path manifestPath = fs::path(out) / fs::u8path("Startup" + version + ".crc");
    if (!WriteTemporary(packagePath, package.data(), package.size()))
        return 1;
    if (!WriteTemporary(manifestPath, manifest.data(), manifest.size()))
    {
        DropTemporary(packagePath);
        return 1;
    }
    // The package goes first: a manifest must never name data that is not there yet.
    if (!CommitTemporary(packagePath))
    {
        DropTemporary(manifestPath);
        return 1;
    }
    if (!CommitTemporary(manifestPath))
        return 1;
    std::printf("publish: %zu files (%zu compressed), package %zu bytes: %s, manifest %zu bytes: %s\n",
                files.size(), compressedCount, package.size(), packagePath.string().c_str(), manifest.size(),
                manifestPath.string().c_str());
    return 0;
}
