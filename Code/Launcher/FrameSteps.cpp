#include "FrameSteps.h"

#include "PackageProgress.h"

#include <cmath>

std::vector<std::string> FrameStepCodes(double receivedShare, bool localMode, int32_t updateState,
                                        bool fontInstalling)
{
    std::vector<std::string> codes;
    int32_t tenth = static_cast<int32_t>(std::floor(receivedShare * 10.0 + 0.5));
    tenth = tenth < 0 ? 0 : tenth > 10 ? 10 : tenth;
    const bool downloading = fontInstalling || (!localMode && updateState == PackageUpdateDownloading);
    const bool done = localMode || updateState == PackageUpdateDone;
    if (!downloading && !done)
        return codes;
    for (int32_t reached = 1; reached <= tenth; ++reached)
        codes.push_back(std::to_string(1003 + reached));
    if (!downloading && done && tenth < 10)
        codes.push_back("1013");
    return codes;
}
