#include "xPlatformTime.h"

#include <time.h>

// The monotonic clock counts nanoseconds, so the "counter" runs at 1 GHz.
bool xPlatformTime::QueryFrequency(uint64_t& ticksPerSecond)
{
    timespec resolution;
    if (clock_getres(CLOCK_MONOTONIC, &resolution) != 0)
        return false;
    ticksPerSecond = 1000000000ull;
    return true;
}

uint64_t xPlatformTime::ReadTicks()
{
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000ull + static_cast<uint64_t>(now.tv_nsec);
}
