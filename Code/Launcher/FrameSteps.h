#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The progress milestones the main frame reports ten times a second: the
// tenth of the download reached ("1004" for the first to "1013" for the last),
// and "1013" when the update is done (or nothing is fetched in local mode).

// The codes to report now, in order. Every tenth up to the one reached is
// listed, so a download that passes two tenths between two ticks still
// reports both; the step report sends each code once.
std::vector<std::string> FrameStepCodes(double receivedShare, bool localMode, int32_t updateState,
                                        bool fontInstalling);
