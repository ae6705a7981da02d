#include "xPlatformTime.h"
#include "xLogLine.h"

#include <limits>

double xPlatformTime::SecondsPerTick()
{
    // Set once, on first use, from the counter's frequency.
    static const double secondsPerTick = []
    {
        uint64_t frequency = 0;
        if (!QueryFrequency(frequency) || frequency == 0)
            return std::numeric_limits<double>::infinity();
        return 1.0 / static_cast<double>(frequency);
    }();
    return secondsPerTick;
}

double xPlatformTime::Seconds()
{
    return static_cast<double>(ReadTicks()) * SecondsPerTick() + ReadingOffset;
}

ScopedTimer::ScopedTimer(const char* name) : Name(name), Start(xPlatformTime::Seconds()) {}

ScopedTimer::~ScopedTimer()
{
    const float elapsed = static_cast<float>(xPlatformTime::Seconds() - Start);
    LogLine("%s: %f", Name, static_cast<double>(elapsed));
}
