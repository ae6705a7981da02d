#include "VersionFile.h"

#include "xLogLine.h"
#include "xStringOps.h"

#include <map>
#include <vector>

namespace
{
// The entries as the launcher reads them: the first of a key wins. Pieces that
// are not one key=value are left out, and logged when `log` is set.
std::map<xString, xString> ReadEntries(const xString& versionLine, bool log)
{
    std::map<xString, xString> versions;
    for (const xString& piece : SplitVersionEntries(versionLine))
    {
        xString key, value;
        if (SplitVersionEntry(piece, key, value))
            versions.emplace(key, value);
        else if (log)
            LogErrorLine("SidVersionError: %s", piece.c_str());
    }
    return versions;
}
} // namespace

std::vector<xString> SplitVersionEntries(const xString& line)
{
    std::vector<xString> entries;
    SplitText(line, xString(VersionFileFormat::EntrySeparator), entries);
    return entries;
}

bool SplitVersionEntry(const xString& entry, xString& key, xString& value)
{
    std::vector<xString> parts;
    SplitText(entry, xString(VersionFileFormat::KeySeparator), parts);
    if (parts.size() != 2)
        return false;
    key = parts[0];
    value = parts[1];
    return true;
}

xString ChooseClientVersion(const xString& versionLine, const xString& sid)
{
    const std::map<xString, xString> versions = ReadEntries(versionLine, true);
    const auto fallback = versions.find(xString(VersionFileFormat::DefaultKey));
    if (fallback == versions.end())
    {
        LogErrorLine("SidVersionError: No default version");
        return {};
    }
    if (sid.IsEmpty())
        return fallback->second;
    const auto own = versions.find(sid);
    return own != versions.end() ? own->second : fallback->second;
}

bool ListsClientVersion(const xString& versionLine, const xString& version)
{
    for (const auto& entry : ReadEntries(versionLine, false))
        if (entry.second == version)
            return true;
    return false;
}
