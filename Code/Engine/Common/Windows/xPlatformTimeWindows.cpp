#include "xPlatformTime.h"

#include <windows.h>

bool xPlatformTime::QueryFrequency(uint64_t& ticksPerSecond)
{
    LARGE_INTEGER frequency;
    if (!::QueryPerformanceFrequency(&frequency))
        return false;
    ticksPerSecond = static_cast<uint64_t>(frequency.QuadPart);
    return true;
}

uint64_t xPlatformTime::ReadTicks()
{
    LARGE_INTEGER counter;
    ::QueryPerformanceCounter(&counter);
    return static_cast<uint64_t>(counter.QuadPart);
}
