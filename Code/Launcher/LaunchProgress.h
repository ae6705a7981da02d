#pragma once

#include <cstdint>

// The progress the player sees, from the published counters.

// The font's size as the overall progress counts it while its installation is due.
constexpr uint64_t FontBytesExpected = 4307402;

// The share of the bytes this run fetches that has arrived, 0 to 1, plain (the
// milestones count it so).
double ReceivedShare(uint64_t fontBytesReceived, uint64_t fontBytesExpected, uint64_t packageBytesReceived,
                     uint64_t packageBytesNeeded);

// The same share eased (sin of the fraction
// times pi/2) so that the bar moves quickly at first; 0 to 1. The font counts
// only when it is fetched (`fontBytesExpected` 0 otherwise): a bar that also
// waited for a font nobody downloads would stop short and jump at the end.
float OverallProgress(uint64_t fontBytesReceived, uint64_t fontBytesExpected, uint64_t packageBytesReceived,
                      uint64_t packageBytesNeeded);

// The font's bytes as the progress counts them (FontInstallStates): while it
// is fetched, what has arrived of its size (FontBytesExpected until the server
// has told it); once in place, all of it, so the bar never steps back when it
// lands; nothing when it was not fetched or the installation gave up.
struct CountedFontBytes
{
    uint64_t Received = 0;
    uint64_t Expected = 0;
};
CountedFontBytes CountFontBytes(int32_t fontInstallState, uint64_t received, uint64_t fileSize);

// A download (or the font installation) is under way: the splash shows its bar
// and percentage rather than a status line.
bool IsBusy(bool fontInstalling, bool localMode, int32_t packageUpdateState);
