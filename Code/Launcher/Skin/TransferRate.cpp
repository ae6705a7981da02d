#include "TransferRate.h"

#include <cmath>

void TransferRate::Restart(double seconds, uint64_t bytes)
{
    Started = true;
    LastSeconds = seconds;
    LastBytes = bytes;
    MovingSince = -1.0;
    Rate = 0.0;
}

void TransferRate::AddSample(double seconds, uint64_t bytes)
{
    // A counter that went back belongs to a new update.
    if (!Started || bytes < LastBytes)
    {
        Restart(seconds, bytes);
        return;
    }
    const double elapsed = seconds - LastSeconds;
    if (elapsed <= 0.0)
        return;
    const uint64_t moved = bytes - LastBytes;
    LastSeconds = seconds;
    LastBytes = bytes;
    if (moved > 0 && (MovingSince < 0.0 || seconds - LastMove > IdleSeconds))
    {
        // The first step after a pause only marks the start: a resumed
        // transfer credits the bytes already on disk in one go.
        MovingSince = seconds;
        LastMove = seconds;
        Rate = 0.0;
        return;
    }
    if (moved > 0)
        LastMove = seconds;
    const double weight = 1.0 - std::exp(-elapsed / SmoothingSeconds);
    Rate += weight * (static_cast<double>(moved) / elapsed - Rate);
}

double TransferRate::BytesPerSecond() const
{
    const double moving = LastSeconds - MovingSince;
    if (MovingSince < 0.0 || moving < WarmUpSeconds || LastSeconds - LastMove > IdleSeconds || Rate <= 0.0)
        return -1.0;
    // The average starts from 0: divided by the weight it has gathered so far,
    // a steady rate reads true from the first second on.
    return Rate / (1.0 - std::exp(-moving / SmoothingSeconds));
}

double TransferRate::SecondsLeft(uint64_t remaining) const
{
    const double rate = BytesPerSecond();
    return rate > 0.0 ? static_cast<double>(remaining) / rate : -1.0;
}
