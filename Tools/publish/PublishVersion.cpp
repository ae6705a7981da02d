// publish version: edits the version file's first line in place.
#include "PublishCommon.h"
#include "PublishSignature.h"

#include "ToolFiles.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{
constexpr size_t MaxVersionLine = 2047;

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

} // namespace

int RunVersion(int argc, char** argv)
{
    std::string file, key;
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
        else if (option == "--key")
        {
            if (!TakeValue(argc, argv, i, key))
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
    UpdateSigner signer;
    if (!key.empty() && !signer.Load(key))
        return 1;

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
    if (signer.IsLoaded() && !signer.WriteSignatureFor(file, text.data(), text.size()))
        return 1;
    if (!WriteAtomically(file, text.data(), text.size()))
        return 1;
    std::printf("publish: %s: %s\n", file.c_str(), result.c_str());
    return 0;
}
