#include "VersionFile.h"

#include "xLogLine.h"
#include "xStringOps.h"

#include <map>
#include <vector>

xString ChooseClientVersion(const xString& versionLine, const xString& sid)
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
            LogErrorLine("SidVersionError: %s", piece.c_str());
            continue;
        }
        versions.emplace(parts[0], parts[1]);
    }
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
