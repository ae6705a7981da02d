#include "PackageProgress.h"
#include "UpdateRetry.h"

#include <gtest/gtest.h>

TEST(UpdateRetry, EachFailureWaitsTwiceAsLongUpToFiveMinutesAndSuccessStartsOver)
{
    // The frame's ticks with the update's state: whether a try is due then, and the seconds left (-1: none).
    const struct
    {
        double Now;
        int32_t State;
        bool Due;
        int32_t Left;
    } ticks[] = {
        {0.0, PackageUpdateDownloading, false, -1},
        {10.0, PackageUpdateFailed, false, 30},
        {25.2, PackageUpdateFailed, false, 15}, // rounded up: the line never shows 0 early
        {39.9, PackageUpdateFailed, false, 1},
        {40.0, PackageUpdateFailed, true, -1},
        {40.1, PackageUpdateFailed, false, 60}, // the try failed at once (no version)
        {100.1, PackageUpdateFailed, true, -1},
        {100.2, PackageUpdateFailed, false, 120},
        {220.2, PackageUpdateFailed, true, -1},
        {220.3, PackageUpdateFailed, false, 240},
        {460.3, PackageUpdateFailed, true, -1},
        {460.4, PackageUpdateFailed, false, 300},
        {760.4, PackageUpdateFailed, true, -1},
        {760.5, PackageUpdateFailed, false, 300}, // five minutes at most
        {1060.5, PackageUpdateStarted, true, -1},
        {1100.0, PackageUpdateDone, false, -1},
        {1200.0, PackageUpdateFailed, false, 30}, // a success in between starts the pauses over
    };
    UpdateRetry retry;
    for (const auto& tick : ticks)
    {
        EXPECT_EQ(retry.Tick(tick.Now, tick.State), tick.Due) << tick.Now;
        EXPECT_EQ(retry.SecondsLeft(tick.Now), tick.Left) << tick.Now;
    }
}
