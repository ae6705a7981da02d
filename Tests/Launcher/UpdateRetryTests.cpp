#include "PackageProgress.h"
#include "UpdateRetry.h"

#include <gtest/gtest.h>

TEST(UpdateRetry, PausesGrowToFiveMinutes)
{
    const double pauses[] = {30, 60, 120, 240, 300, 300};
    for (int32_t failures = 1; failures <= 6; ++failures)
        EXPECT_EQ(UpdateRetry::PauseAfter(failures), pauses[failures - 1]) << failures;
}

TEST(UpdateRetry, EachFailureWaitsLongerAndSuccessStartsOver)
{
    UpdateRetry retry;
    EXPECT_FALSE(retry.Tick(0.0, PackageUpdateDownloading));
    EXPECT_EQ(retry.SecondsLeft(0.0), -1);

    EXPECT_FALSE(retry.Tick(10.0, PackageUpdateFailed));
    EXPECT_EQ(retry.SecondsLeft(10.0), 30);
    EXPECT_EQ(retry.SecondsLeft(25.2), 15) << "rounded up: the line never shows 0 early";
    EXPECT_FALSE(retry.Tick(39.9, PackageUpdateFailed));
    EXPECT_TRUE(retry.Tick(40.0, PackageUpdateFailed)) << "due: try again";
    EXPECT_EQ(retry.SecondsLeft(40.0), -1);

    // The try failed at once (no version): the next pause is longer.
    EXPECT_FALSE(retry.Tick(40.1, PackageUpdateFailed));
    EXPECT_EQ(retry.SecondsLeft(40.1), 60);
    EXPECT_TRUE(retry.Tick(100.1, PackageUpdateFailed));
    EXPECT_FALSE(retry.Tick(100.2, PackageUpdateStarted));
    EXPECT_FALSE(retry.Tick(150.0, PackageUpdateDone));
    EXPECT_FALSE(retry.Tick(200.0, PackageUpdateFailed));
    EXPECT_EQ(retry.SecondsLeft(200.0), 30) << "a success in between starts the pauses over";
}
