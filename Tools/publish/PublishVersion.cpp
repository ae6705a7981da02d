// publish version: edits a version file's first line in place, and writes the
// stamp of a signed one (serial and expiry) on its second line.
#include "PublishCommon.h"
#include "PublishSignature.h"
#include "PublishStamp.h"

#include "LauncherDownload.h"
#include "UpdateSignature.h"
#include "VersionFile.h"
#include "VersionStamp.h"

#include "ToolFiles.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// As much of the first line as the launcher reads.
constexpr size_t MaxVersionLine = DownloadChunkSize - 1;

std::string Std(const xString& text)
{
    return std::string(text.c_str(), text.Length());
}

struct VersionOptions
{
    std::string File, Key, Expires, Serial;
    std::vector<std::pair<std::string, std::string>> Settings;
    // "LauncherVersion.txt": its first line is the launcher's number, kept as it is.
    bool LauncherFile = false;
};

// The file as it stands: the first line, its line end, the stamp on the second
// line (when that line is one), and everything after them.
struct VersionText
{
    std::string Line, LineEnd = "\n", Rest;
    bool HasStamp = false;
    VersionStamp Stamp;
};

// 0 when the options are good, else the exit status.
int ReadOptions(int argc, char** argv, VersionOptions& options)
{
    for (int i = 2; i < argc; ++i)
    {
        const std::string option = argv[i];
        std::string value;
        std::string* single = option == "--file"      ? &options.File
                              : option == "--key"     ? &options.Key
                              : option == "--expires" ? &options.Expires
                              : option == "--serial"  ? &options.Serial
                                                      : nullptr;
        if (single != nullptr)
        {
            if (!TakeValue(argc, argv, i, *single))
                return 2;
            continue;
        }
        if (option != "--set")
            return BadUsage(("unknown option " + option).c_str());
        if (!TakeValue(argc, argv, i, value))
            return 2;
        xString key, version;
        if (!SplitVersionEntry(xString(value.c_str()), key, version) || key.IsEmpty() || version.IsEmpty() ||
            value.find(VersionFileFormat::EntrySeparator) != std::string::npos ||
            HasControlCharacter(value) || !IsValidUtf8(value))
            return BadUsage(
                ("--set takes KEY=VER without \",\" or control characters, not " + value).c_str());
        options.Settings.emplace_back(Std(key), Std(version));
    }
    options.LauncherFile = fs::path(options.File).filename() == VersionFileFormat::LauncherVersionName;
    if (options.File.empty())
        return BadUsage("publish version needs --file");
    if (options.LauncherFile && (!options.Settings.empty() || !options.Serial.empty()))
        return BadUsage("LauncherVersion.txt takes no --set or --serial: publish launcher writes its number");
    return 0;
}

bool ReadVersionText(const std::string& file, VersionText& text)
{
    std::error_code error;
    if (!fs::exists(file, error))
        return true;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(file, bytes))
    {
        Fail("cannot read %s: %s", file.c_str(), std::strerror(errno));
        return false;
    }
    const std::string whole(bytes.begin(), bytes.end());
    const size_t end = whole.find('\n');
    text.Line = whole.substr(0, end);
    text.Rest = end == std::string::npos ? std::string() : whole.substr(end + 1);
    if (!text.Line.empty() && text.Line.back() == '\r')
    {
        text.Line.pop_back();
        text.LineEnd = "\r\n";
    }
    const size_t stampEnd = text.Rest.find('\n');
    std::string second = text.Rest.substr(0, stampEnd);
    if (!second.empty() && second.back() == '\r')
        second.pop_back();
    text.HasStamp = ParseVersionStamp(xString(second.c_str()), text.Stamp) &&
                    (text.Stamp.HasSerial || text.Stamp.HasExpiry) && !second.empty();
    if (text.HasStamp)
        text.Rest = stampEnd == std::string::npos ? std::string() : text.Rest.substr(stampEnd + 1);
    return true;
}

// The first line with the settings applied; false when it would not do.
bool ApplySettings(const std::string& line, const VersionOptions& options, std::string& result)
{
    using namespace VersionFileFormat;
    std::vector<xString> entries;
    if (!line.empty())
        entries = SplitVersionEntries(xString(line.data(), line.size()));
    for (const auto& [key, value] : options.Settings)
    {
        const xString entry = xString(key.c_str()) + KeySeparator + value.c_str();
        bool replaced = false;
        for (xString& old : entries)
        {
            xString oldKey, oldValue;
            // Only the first entry of a key counts for the launcher.
            if (SplitVersionEntry(old, oldKey, oldValue) && oldKey == key.c_str())
            {
                old = entry;
                replaced = true;
                break;
            }
        }
        if (!replaced)
            entries.push_back(entry);
    }
    result.clear();
    bool hasDefault = false;
    for (size_t i = 0; i < entries.size(); ++i)
    {
        result += (i ? EntrySeparator : "") + Std(entries[i]);
        xString key, value;
        if (!SplitVersionEntry(entries[i], key, value))
            std::fprintf(stderr, "publish: warning: the launcher skips the entry \"%s\"\n",
                         entries[i].c_str());
        else if (key == DefaultKey)
            hasDefault = true;
    }
    if (!hasDefault)
    {
        Fail("the version line would have no \"default\" entry; add --set default=VER");
        return false;
    }
    if (result.size() > MaxVersionLine)
    {
        Fail("the version line would take %zu bytes; the launcher reads %zu", result.size(), MaxVersionLine);
        return false;
    }
    return true;
}

// The new stamp: the expiry given (or DefaultStampDays from now), and for the
// client version file a serial above the old one. Unless the operator names
// it, the serial is the Unix time, or the old serial plus one when that is
// higher: it keeps rising even when the file is written afresh or from
// another machine, as long as clocks are roughly right.
bool MakeStamp(const VersionOptions& options, const VersionText& old, int64_t now, VersionStamp& stamp)
{
    stamp = VersionStamp();
    if (!SetStampExpiry(options.Expires, now, stamp))
        return false;
    if (options.LauncherFile)
        return true;
    const uint64_t oldSerial = old.HasStamp && old.Stamp.HasSerial ? old.Stamp.Serial : 0;
    stamp.HasSerial = true;
    if (options.Serial.empty() && oldSerial == UINT64_MAX)
    {
        Fail("the file's serial %llu cannot rise any more", static_cast<unsigned long long>(oldSerial));
        return false;
    }
    if (options.Serial.empty())
    {
        stamp.Serial =
            oldSerial + 1 > static_cast<uint64_t>(now) ? oldSerial + 1 : static_cast<uint64_t>(now);
        return true;
    }
    if (!ParseSerialNumber(xString(options.Serial.c_str()), stamp.Serial))
    {
        Fail("--serial takes a decimal number, not %s", options.Serial.c_str());
        return false;
    }
    if (stamp.Serial <= oldSerial)
    {
        Fail("--serial %s is not above the file's serial %llu: launchers that took it would refuse the file",
             options.Serial.c_str(), static_cast<unsigned long long>(oldSerial));
        return false;
    }
    return true;
}
} // namespace

int RunVersion(int argc, char** argv)
{
    VersionOptions options;
    if (const int status = ReadOptions(argc, argv, options))
        return status;
    UpdateSigner signer;
    if (!options.Key.empty() && !signer.Load(options.Key))
        return 1;
    VersionText old;
    if (!ReadVersionText(options.File, old))
        return 1;
    // A signed file, and one that had a stamp, always gets a fresh one.
    const bool stamped =
        !options.Key.empty() || !options.Expires.empty() || !options.Serial.empty() || old.HasStamp;
    if (options.Settings.empty() && !(stamped && !old.Line.empty()))
        return BadUsage("publish version needs --set, or an existing file and --key, --expires or --serial");

    std::string line = old.Line;
    if (!options.LauncherFile && !ApplySettings(old.Line, options, line))
        return 1;
    VersionStamp stamp;
    if (stamped && !MakeStamp(options, old, static_cast<int64_t>(std::time(nullptr)), stamp))
        return 1;
    const std::string stampLine = stamped ? FormatVersionStamp(stamp).c_str() : "";
    const std::string text = line + old.LineEnd + (stamped ? stampLine + old.LineEnd : "") + old.Rest;
    if (signer.IsLoaded() && !signer.WriteSignatureFor(options.File, text.data(), text.size()))
        return 1;
    if (!WriteAtomically(options.File, text.data(), text.size()))
        return 1;
    std::error_code error;
    if (!signer.IsLoaded() && fs::exists(options.File + UpdateSignatureSuffix, error))
        std::fprintf(stderr, "publish: warning: %s.sig no longer matches the file; sign it again (--key)\n",
                     options.File.c_str());
    std::printf("publish: %s: %s\n", options.File.c_str(), line.c_str());
    if (stamped)
        std::printf("publish: %s: %s\n", options.File.c_str(), stampLine.c_str());
    return 0;
}
