#pragma once

#include <cstdint>

// Tries a failed update again on its own, after a pause that grows with each
// failure in a row (30 s, 60 s, 120 s, 240 s, then every 5 minutes), so a
// server that is down is not hammered and a player never waits on a dead bar.
class UpdateRetry
{
public:
    // Called on every tick with the clock (seconds) and the published update
    // state; true when the update should start again now.
    bool Tick(double now, int32_t state);
    // Whole seconds until the next try (rounded up); -1 when none is waiting.
    int32_t SecondsLeft(double now) const;
    // The pause before the try after `failures` failures in a row (1 or more).
    static double PauseAfter(int32_t failures);

private:
    double DueAt = -1.0;
    int32_t Failures = 0;
    bool Waiting = false;
};
