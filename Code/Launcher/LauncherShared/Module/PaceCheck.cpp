#include "PaceCheck.h"
#include "LauncherDownloadInternal.h"

namespace LauncherDownloadInternal
{
PaceCheck::PaceCheck()
    : Window(std::chrono::milliseconds(StallTimeMs())), Start(std::chrono::steady_clock::now())
{
}

bool PaceCheck::Add(uint64_t bytes)
{
    Count += bytes;
    const auto now = std::chrono::steady_clock::now();
    if (now - Start < Window)
        return true;
    if (Count < MinBytesPerStallTime)
        return false;
    Start = now;
    Count = 0;
    return true;
}
} // namespace LauncherDownloadInternal
