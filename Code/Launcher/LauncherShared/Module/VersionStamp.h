#pragma once

#include "xString.h"

#include <cstdint>

// The stamp of a signed version file: its order and its age, which a signature
// alone does not carry. It stands on the file's second line, after the line
// every launcher reads, so launchers without a key (and every launcher from
// before stamps) take a stamped file exactly as before:
//   ClientVersionSID.txt   default=1.0.6,7=1.0.5
//                          serial=1751328000,expires=2025-08-01T00:00:00Z
//   LauncherVersion.txt    1000002
//                          expires=2025-08-01T00:00:00Z
// Entries are key=value, separated by ","; the time is UTC. The publisher
// (Tools/publish) writes the line with FormatVersionStamp, the launcher reads
// it with ParseVersionStamp.

struct VersionStamp
{
    bool HasSerial = false;
    // Rises with every publication of the client version file.
    uint64_t Serial = 0;
    bool HasExpiry = false;
    // Unix seconds (UTC) from which the file is refused.
    int64_t Expires = 0;
};

// False for a line that is not a stamp: an entry that is not key=value, a key
// given twice, a serial that is not a decimal number below 2^64, an expiry that
// is not "YYYY-MM-DDTHH:MM:SSZ". An empty line is a stamp without fields.
// Keys other than serial and expires are ignored (a later publisher may add
// some).
bool ParseVersionStamp(const xString& line, VersionStamp& stamp);
// The line for a stamp: its serial (when it has one), then its expiry.
xString FormatVersionStamp(const VersionStamp& stamp);

// A serial as the stamp writes it: decimal digits only, below 2^64.
bool ParseSerialNumber(const xString& text, uint64_t& serial);

// "YYYY-MM-DDTHH:MM:SSZ" as Unix seconds, and back; years 1970 to 9999.
bool ParseUtcTime(const xString& text, int64_t& seconds);
xString FormatUtcTime(int64_t seconds);

// The second line of a text ("" when it has none), without its line end.
xString SecondTextLine(const xString& text);
