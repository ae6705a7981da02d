#pragma once

#include <cstdint>

// The download rate as the splash screen shows it: fed the byte counter the
// update publishes, with the time it was read, on every tick; answers an
// exponentially weighted rate over the last few seconds, so one slow or fast
// moment moves it little. It knows no rate until bytes have moved for a while,
// and forgets it as soon as they stop moving or the counter starts again.
class TransferRate
{
public:
    // The weight of a past second falls by e over this time.
    static constexpr double SmoothingSeconds = 3.0;
    // Bytes must have moved for this long before a rate is given.
    static constexpr double WarmUpSeconds = 1.0;
    // No byte for this long: nothing is moving, no rate.
    static constexpr double IdleSeconds = 2.0;

    // The counter's value `bytes` at `seconds` (any clock that never goes back).
    void AddSample(double seconds, uint64_t bytes);
    // Bytes per second; negative while unknown.
    double BytesPerSecond() const;
    // Seconds until `remaining` more bytes are in at the current rate; negative while unknown.
    double SecondsLeft(uint64_t remaining) const;

private:
    void Restart(double seconds, uint64_t bytes);

    bool Started = false;
    double LastSeconds = 0.0;
    uint64_t LastBytes = 0;
    // When the bytes began to move, and when they last moved.
    double MovingSince = -1.0;
    double LastMove = 0.0;
    double Rate = 0.0;
};
