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
    std::vector<xString> pieces;
    SplitText(versionLine, xString(","), pieces);
    std::map<xString, xString> versions;
    for (const xString& piece : pieces)
    {
        std::vector<xString> parts;
        SplitText(piece, xString("="), parts);
        if (parts.size() != 2)
        {
            if (log)
                LogErrorLine("SidVersionError: %s", piece.c_str());
            continue;
        }
        versions.emplace(parts[0], parts[1]);
    }
    return versions;
}
} // namespace

xString ChooseClientVersion(const xString& versionLine, const xString& sid)
{
    const std::map<xString, xString> versions = ReadEntries(versionLine, true);
    const auto fallback = versions.find(xString("default"));
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
