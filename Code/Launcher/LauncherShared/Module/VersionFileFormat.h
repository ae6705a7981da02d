#pragma once

#include "xString.h"

#include <vector>

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
