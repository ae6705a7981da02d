// The publisher: builds what the launcher fetches from the client resource
// server (package, manifest, version file, compressed font).
#include "Crc32c.h"
#include "Lzma86.h"
#include "Xxh32.h"

#include "PublishLauncher.h"

#include "ToolFiles.h"

#include "xString.h"
#include "xStringOps.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace
{
const char* const Usage = R"(publish: the publisher of client versions for the launcher.

Usage:
  publish client --source CLIENT_DIR --version VER --out OUT_DIR [--xx] [--level N]
  publish version --file OUT_DIR/ClientVersionSID.txt --set KEY=VER [--set KEY=VER ...]
  publish font --source FONT_FILE --out OUT_DIR/simhei.fnt [--force-crc32c 0xHEX]
  publish launcher --exe LAUNCHER.exe --out OUT_DIR [--name qtmx.exe] [--version N]
  publish --help

publish client
  Walks CLIENT_DIR recursively and writes OUT_DIR/Startup<VER>.pkg and
  OUT_DIR/Startup<VER>.crc (OUT_DIR is created when missing and must not lie
  inside CLIENT_DIR). Every regular file becomes one entry, named by its path
  relative to CLIENT_DIR with "/" between folders; the launcher installs it at
  that path under its publish folder. Names must be UTF-8 without "\", ":" or
  control characters, and no two may differ only in letter case.
  The package holds the files' data back to back, in name order: each file is
  stored as it is, or as an Lzma86 container when that is smaller (.exe and
  .dll files with the x86 branch-call filter). The manifest is one Lzma86
  container holding an XML document: a root element
    <package totalSize=".." crc32c=".." [xx=".."]>
  with one element per file
    <file name=".." origSize=".." origCRC32C=".." [xx=".."] startPos=".."
          dataSize=".." bCompressed="0|1"/>
  Checksums are CRC-32C; with --xx each file and the package also get XXH32
  (attribute xx), which the launcher then checks instead. --level N sets the
  LZMA effort, 0 (fastest) to 9 (default 5). The package must stay below
  2 GiB and each file below 1 GiB when compressed (larger ones are stored).
  Both files are written through temporary files and renamed into place,
  the package first.

publish version
  Creates or edits the first line of the version file: comma-separated
  KEY=VER entries, where KEY is a server id or "default" (the version for
  every server without an entry of its own). --set replaces the value of the
  first entry with that key in place, or appends the entry; every other entry
  and the rest of the file stay as they were. Keys and values must be
  non-empty and hold no ",", "=" or control characters. The result must have
  a "default" entry and fit in 2047 bytes.

publish font
  Packs FONT_FILE into one Lzma86 container (no filter): simhei.fnt, which the
  launcher unpacks to simhei.ttf. It warns when the font's CRC-32C is not the
  one the launcher accepts (0x03487F00): such a font would be fetched again.
  --force-crc32c 0x03487F00 appends four bytes that bring the font's CRC-32C
  to that value (found by running the CRC backwards from it), so any TrueType
  font can stand in for SimHei: font readers go by the table directory and
  ignore bytes after the last table.

publish launcher
  Reads the launcher's version from the fixed file version of LAUNCHER.exe's
  version resource, as the number ((major*100+minor)*100+build)*100+revision
  (1.0.0.2 gives 1000002), and writes OUT_DIR/<name><N>.exe (for --name
  qtmx.exe, the installed launcher's name and the default being LAUNCHER.exe's
  own: qtmx1000002.exe) and then OUT_DIR/LauncherVersion.txt holding N, each
  through a temporary file. --version N stops with an error when the build's
  version is another. A build of 200000 bytes or fewer is refused: launchers
  never start one. OUT_DIR is what the launcher's update base URL serves
  (LAUNCHER_UPDATE_BASE_URL; the demo builds ask
  http://127.0.0.1:18080/launcher/, i.e. ROOT/launcher with devserver --root ROOT).

From a client folder to the launcher:
  publish client  --source ./client --version 1.0.5 --out ROOT/mirra/client
  publish version --file ROOT/mirra/client/ClientVersionSID.txt --set default=1.0.5
  publish font    --source simhei.ttf --out ROOT/mirra/client/simhei.fnt
  devserver --root ROOT
  The dev server then serves ROOT/mirra/client/ at
  http://127.0.0.1:18080/mirra/client/, the client base URL of the demo
  builds (presets linux-demo and windows-demo): the launcher reads the version
  file there, fetches Startup1.0.5.crc and Startup1.0.5.pkg and installs the
  files that are missing or stale. From the repository, `bash scripts/demo.sh
  --client ./client` does all of this and starts the launcher under wine64
  with a forced login, following its log until the client is in place.

Exit status: 0 done, 1 failed (nothing is left half-written), 2 bad usage.
)";

// The launcher keeps package sums in 32 bits and reads signed sizes here and there.
constexpr uint64_t MaxPackageSize = 0x7FFFFFFF;
constexpr uint32_t FontCrc32c = 0x03487F00;
constexpr size_t MaxVersionLine = 2047;

int BadUsage(const char* what)
{
    Fail("%s (see publish --help)", what);
    return 2;
}

// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool IsValidUtf8(const std::string& text)
{
    size_t i = 0;
    while (i < text.size())
    {
        const uint8_t lead = static_cast<uint8_t>(text[i]);
        size_t extra = 0;
        uint32_t point = 0;
        if (lead < 0x80)
            point = lead;
        else if (lead >= 0xC2 && lead <= 0xDF)
            extra = 1, point = lead & 0x1F;
        else if (lead >= 0xE0 && lead <= 0xEF)
            extra = 2, point = lead & 0x0F;
        else if (lead >= 0xF0 && lead <= 0xF4)
            extra = 3, point = lead & 0x07;
        else
            return false;
        if (text.size() - i - 1 < extra)
            return false;
        for (size_t k = 1; k <= extra; ++k)
        {
            const uint8_t next = static_cast<uint8_t>(text[i + k]);
            if ((next & 0xC0) != 0x80)
                return false;
            point = (point << 6) | (next & 0x3F);
        }
        if ((extra == 2 && point < 0x800) || (extra == 3 && point < 0x10000) || point > 0x10FFFF ||
            (point >= 0xD800 && point <= 0xDFFF))
            return false;
        i += 1 + extra;
    }
    return true;
}

bool HasControlCharacter(const std::string& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c)
                       { return static_cast<uint8_t>(c) < 0x20 || static_cast<uint8_t>(c) == 0x7F; });
}

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

// Takes the value after an option, or reports it missing.
bool TakeValue(int argc, char** argv, int& i, std::string& value)
{
    if (i + 1 >= argc)
    {
        Fail("%s needs a value", argv[i]);
        return false;
    }
    value = argv[++i];
    return true;
}

// ---- publish client ----

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

// ---- publish version ----

std::vector<std::string> SplitAt(const std::string& text, char separator)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    for (;;)
    {
        const size_t at = text.find(separator, start);
        pieces.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos)
            return pieces;
        start = at + 1;
    }
}

int RunVersion(int argc, char** argv)
{
    std::string file;
    std::vector<std::pair<std::string, std::string>> settings;
    for (int i = 2; i < argc; ++i)
    {
        const std::string option = argv[i];
        std::string value;
        if (option == "--file")
        {
            if (!TakeValue(argc, argv, i, file))
                return 2;
        }
        else if (option == "--set")
        {
            if (!TakeValue(argc, argv, i, value))
                return 2;
            const std::vector<std::string> parts = SplitAt(value, '=');
            if (parts.size() != 2 || parts[0].empty() || parts[1].empty() ||
                parts[0].find(',') != std::string::npos || parts[1].find(',') != std::string::npos ||
                HasControlCharacter(value) || !IsValidUtf8(value))
                return BadUsage(
                    ("--set takes KEY=VER without \",\" or control characters, not " + value).c_str());
            settings.emplace_back(parts[0], parts[1]);
        }
        else
            return BadUsage(("unknown option " + option).c_str());
    }
    if (file.empty() || settings.empty())
        return BadUsage("publish version needs --file and at least one --set");

    std::string line, rest = "\n";
    std::error_code error;
    if (fs::exists(file, error))
    {
        std::vector<uint8_t> bytes;
        if (!ReadWholeFile(file, bytes))
        {
            Fail("cannot read %s: %s", file.c_str(), std::strerror(errno));
            return 1;
        }
        const std::string text(bytes.begin(), bytes.end());
        const size_t end = text.find('\n');
        line = text.substr(0, end);
        rest = end == std::string::npos ? std::string() : text.substr(end);
        if (!line.empty() && line.back() == '\r')
        {
            line.pop_back();
            rest.insert(0, "\r");
        }
    }

    std::vector<std::string> entries;
    if (!line.empty())
        entries = SplitAt(line, ',');
    for (const auto& [key, value] : settings)
    {
        bool replaced = false;
        for (std::string& entry : entries)
        {
            const std::vector<std::string> parts = SplitAt(entry, '=');
            // Only the first entry of a key counts for the launcher.
            if (parts.size() == 2 && parts[0] == key)
            {
                entry = key + "=" + value;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            entries.push_back(key + "=" + value);
    }
    std::string result;
    bool hasDefault = false;
    for (size_t i = 0; i < entries.size(); ++i)
    {
        result += (i ? "," : "") + entries[i];
        const std::vector<std::string> parts = SplitAt(entries[i], '=');
        if (parts.size() != 2)
            std::fprintf(stderr, "publish: warning: the launcher skips the entry \"%s\"\n",
                         entries[i].c_str());
        else if (parts[0] == "default")
            hasDefault = true;
    }
    if (!hasDefault)
    {
        Fail("the version line would have no \"default\" entry; add --set default=VER");
        return 1;
    }
    if (result.size() > MaxVersionLine)
    {
        Fail("the version line would take %zu bytes; the launcher reads %zu", result.size(), MaxVersionLine);
        return 1;
    }
    const std::string text = result + rest;
    if (!WriteAtomically(file, text.data(), text.size()))
        return 1;
    std::printf("publish: %s: %s\n", file.c_str(), result.c_str());
    return 0;
}

// ---- publish font ----

// "0x" and up to eight hex digits, or decimal, as strtoul reads them whole.
bool ParseCrc32c(const std::string& text, uint32_t& value)
{
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
    if (errno != 0 || *end != 0 || parsed > 0xFFFFFFFFull)
        return false;
    value = static_cast<uint32_t>(parsed);
    return true;
}

int RunFont(int argc, char** argv)
{
    std::string source, out, force;
    bool forceGiven = false;
    for (int i = 2; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--source" || option == "--out" || option == "--force-crc32c")
        {
            forceGiven = forceGiven || option == "--force-crc32c";
            if (!TakeValue(argc, argv, i, option == "--source" ? source : option == "--out" ? out : force))
                return 2;
        }
        else
            return BadUsage(("unknown option " + option).c_str());
    }
    if (source.empty() || out.empty())
        return BadUsage("publish font needs --source and --out");
    std::vector<uint8_t> font;
    if (!ReadWholeFile(source, font))
    {
        Fail("cannot read %s: %s", source.c_str(), std::strerror(errno));
        return 1;
    }
    if (forceGiven)
    {
        uint32_t target = 0;
        if (!ParseCrc32c(force, target))
            return BadUsage("--force-crc32c takes a 32-bit number such as 0x03487F00");
        uint8_t tail[4];
        Crc32cForcingBytes(Crc32c(font.data(), font.size()), target, tail);
        font.insert(font.end(), tail, tail + 4);
    }
    if (font.empty() || font.size() > Lzma86MaxUnpackedSize)
    {
        Fail("%s: %zu bytes is no font the launcher would unpack", source.c_str(), font.size());
        return 1;
    }
    const uint32_t crc = Crc32c(font.data(), font.size());
    if (crc != FontCrc32c)
        std::fprintf(stderr,
                     "publish: warning: the font's CRC-32C is 0x%08X, the launcher accepts only 0x%08X and "
                     "will fetch it again\n",
                     crc, FontCrc32c);
    Lzma86EncodeOptions options;
    options.Level = 9;
    std::vector<uint8_t> container;
    if (!EncodeLzma86(font.data(), font.size(), false, container, options))
    {
        Fail("compressing %s failed", source.c_str());
        return 1;
    }
    if (!WriteAtomically(out, container.data(), container.size()))
        return 1;
    std::printf("publish: %zu bytes packed into %zu: %s\n", font.size(), container.size(), out.c_str());
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    SetToolName("publish");
    if (argc < 2)
    {
        std::fputs(Usage, stderr);
        return 2;
    }
    const std::string command = argv[1];
    for (int i = 1; i < argc; ++i)
    {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0)
        {
            std::fputs(Usage, stdout);
            return 0;
        }
    }
    if (command == "client")
        return RunClient(argc, argv);
    if (command == "version")
        return RunVersion(argc, argv);
    if (command == "font")
        return RunFont(argc, argv);
    if (command == "launcher")
        return RunLauncher(argc, argv);
    return BadUsage(("unknown command " + command).c_str());
}
