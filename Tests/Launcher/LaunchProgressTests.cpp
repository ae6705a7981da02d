#include "LaunchProgress.h"
#include "PackageProgress.h"

#include <gtest/gtest.h>

TEST(LaunchProgress, OverallProgressEasesTheReceivedShare)
{
    struct Case
    {
        uint64_t FontReceived, FontExpected, PackageReceived, PackageNeeded;
        float Expected;
    };
    const Case cases[] = {
        {0, 0, 0, 0, 0.0f},
        {0, 0, 50000000, 100000000, 0.70710677f},              // half the bytes: sin(pi/4)
        {0, FontBytesExpected, 0, 100000000, 0.0f},            // the font counts while it is due
        {FontBytesExpected, FontBytesExpected, 0, 0, 1.0f},    // the font alone, all there
        {0, 0, 300, 100, 1.0f},                                // more than announced stays full
        {0, FontBytesExpected, 4307402, 4307402, 0.70710677f}, // half of package and font together
    };
    for (const Case& c : cases)
        EXPECT_NEAR(OverallProgress(c.FontReceived, c.FontExpected, c.PackageReceived, c.PackageNeeded),
                    c.Expected, 1e-4f)
            << &c - cases;
}

TEST(LaunchProgress, BusyWhileDownloadingOrInstallingTheFont)
{
    EXPECT_TRUE(IsBusy(false, false, PackageUpdateDownloading));
    EXPECT_FALSE(IsBusy(false, true, PackageUpdateDownloading)) << "local mode fetches nothing";
    EXPECT_FALSE(IsBusy(false, false, PackageUpdateChecking));
    EXPECT_TRUE(IsBusy(true, true, PackageUpdateDone));
}
