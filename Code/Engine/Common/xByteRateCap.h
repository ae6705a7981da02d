#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>

// A token bucket that holds the bytes read through it under a rate, shared by
// every thread that reads through it: each read's bytes are paid for, and a
// reader that has taken more than the rate allows sleeps until they are. The
// bucket holds BurstSeconds of the rate, so a pause lets that much through at
// once and never more. A rate of 0 caps nothing (and costs one atomic load).
class xByteRateCap
{
public:
    static constexpr double BurstSeconds = 0.25;

    // Bytes per second; 0 lifts the cap. May change while transfers run.
    void SetBytesPerSecond(uint64_t rate) { Rate.store(rate, std::memory_order_relaxed); }
    uint64_t BytesPerSecond() const { return Rate.load(std::memory_order_relaxed); }
    bool IsCapped() const { return BytesPerSecond() != 0; }

    // The most a reader should pull at once: an eighth of a second's worth
    // (at least 4 KiB), so the sleeps stay short and the flow even.
    size_t PieceBytes() const;
    // Pays for `bytes` just read, sleeping as long as the cap asks.
    void Take(uint64_t bytes);
    // The bookkeeping of Take at `now` (seconds on any steady clock): how long
    // the reader must wait before going on.
    double Reserve(uint64_t bytes, double now);

private:
    std::atomic<uint64_t> Rate{0};
    std::mutex Lock;
    // The moment at which every byte taken so far is paid for.
    double PaidUntil = -1.0e300;
};
