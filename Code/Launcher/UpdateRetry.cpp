#include "UpdateRetry.h"

#include "PackageProgress.h"

#include <cmath>

double UpdateRetry::PauseAfter(int32_t failures)
{
    double pause = 30.0;
    for (int32_t i = 1; i < failures && pause < 300.0; ++i)
        pause *= 2.0;
    return pause < 300.0 ? pause : 300.0;
}

bool UpdateRetry::Tick(double now, int32_t state)
{
    if (state == PackageUpdateDone)
        Failures = 0;
    if (Waiting)
    {
        if (now < DueAt)
            return false;
        Waiting = false;
        return true;
    }
    // A failure is counted once: the next try moves the state away from Failed.
    if (state != PackageUpdateFailed)
        return false;
    ++Failures;
    DueAt = now + PauseAfter(Failures);
    Waiting = true;
    return false;
}

int32_t UpdateRetry::SecondsLeft(double now) const
{
    if (!Waiting)
        return -1;
    const double left = std::ceil(DueAt - now);
    return left > 0 ? static_cast<int32_t>(left) : 0;
}
