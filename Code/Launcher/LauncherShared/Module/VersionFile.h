#pragma once

#include "xString.h"

#include <vector>

// The client version for the player's server from the first line of
// "ClientVersionSID.txt": comma-separated key=value entries, "default" for every
// server without an entry of its own. Keys and values are taken exactly as
// written; the first entry of a key wins. A piece that is not one key=value is
// logged ("SidVersionError: <piece>") and skipped; a line without "default" logs
// "SidVersionError: No default version" and gives the empty text.
xString ChooseClientVersion(const xString& versionLine, const xString& sid);

// True when `version` is the value of an entry of the line as ChooseClientVersion
// reads it (a server's or the default): a version named by a source without a
// signature (a forced version, the page's or the auto-login's "cversion") is
// taken only when the signed version file names it. Logs nothing.
bool ListsClientVersion(const xString& versionLine, const xString& version);

// The version files' spelling, for the launcher's readers (VersionFile,
// VersionStamp, SignedVersionFile) and the publisher's writers (Tools/publish).
// A line holds entries "key=value" separated by ","; the first line names the
// versions, the second line of a signed file is its stamp (VersionStamp.h).
namespace VersionFileFormat
{
constexpr char ClientVersionsName[] = "ClientVersionSID.txt";
constexpr char LauncherVersionName[] = "LauncherVersion.txt";
constexpr char EntrySeparator[] = ",";
constexpr char KeySeparator[] = "=";
// The first line's entry for every server without one of its own.
constexpr char DefaultKey[] = "default";
// The stamp's.
constexpr char SerialKey[] = "serial";
constexpr char ExpiresKey[] = "expires";
} // namespace VersionFileFormat

// The line's pieces between the separators, empty ones included ("" gives one).
std::vector<xString> SplitVersionEntries(const xString& line);
// A piece's key and value; false when it is not exactly one key=value.
bool SplitVersionEntry(const xString& entry, xString& key, xString& value);
