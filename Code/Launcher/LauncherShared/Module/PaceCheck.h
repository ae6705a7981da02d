#pragma once

#include <chrono>
#include <cstdint>

namespace LauncherDownloadInternal
{
// Fails a body that trickles in: each byte keeps the transport's stall timer
// from running out, so the pace is judged here, over whole stall times.
class PaceCheck
{
public:
    PaceCheck();
    // False once a whole stall time has brought fewer than MinBytesPerStallTime bytes.
    bool Add(uint64_t bytes);

private:
    std::chrono::steady_clock::duration Window;
    std::chrono::steady_clock::time_point Start;
    uint64_t Count = 0;
};
} // namespace LauncherDownloadInternal
