#pragma once

#include <cstdint>

// The one clock of the program: seconds as a double from the high-resolution
// counter. Every reading carries an offset of 2^24 s so that no reading is ever
// small; only differences between readings mean anything.
class xPlatformTime
{
public:
    static constexpr double ReadingOffset = 16777216.0;

    static double Seconds();
    // 1 / counter frequency; infinite when the system has no counter.
    static double SecondsPerTick();
    // False when the system cannot tell the counter's frequency.
    static bool QueryFrequency(uint64_t& ticksPerSecond);

private:
    static uint64_t ReadTicks();
};

// Logs "<name>: <elapsed seconds>" when it goes out of scope.
class ScopedTimer
{
public:
    explicit ScopedTimer(const char* name);
    ~ScopedTimer();
    ScopedTimer(const ScopedTimer&) = delete;
    ScopedTimer& operator=(const ScopedTimer&) = delete;

private:
    const char* Name;
    double Start;
};
