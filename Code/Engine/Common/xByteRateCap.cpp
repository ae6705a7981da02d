#include "xByteRateCap.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace
{
constexpr size_t SmallestPiece = 4096;

double SteadySeconds()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}
} // namespace

size_t xByteRateCap::PieceBytes() const
{
    const uint64_t rate = BytesPerSecond();
    return std::max<size_t>(SmallestPiece, static_cast<size_t>(rate / 8));
}

double xByteRateCap::Reserve(uint64_t bytes, double now)
{
    const uint64_t rate = BytesPerSecond();
    if (rate == 0)
        return 0.0;
    const std::lock_guard<std::mutex> hold(Lock);
    // Time not used by anyone fills the bucket, up to its depth.
    PaidUntil = std::max(PaidUntil, now - BurstSeconds);
    PaidUntil += static_cast<double>(bytes) / static_cast<double>(rate);
    return std::max(0.0, PaidUntil - now);
}

void xByteRateCap::Take(uint64_t bytes)
{
    if (bytes == 0 || !IsCapped())
        return;
    const double wait = Reserve(bytes, SteadySeconds());
    if (wait > 0.0)
        std::this_thread::sleep_for(std::chrono::duration<double>(wait));
}
