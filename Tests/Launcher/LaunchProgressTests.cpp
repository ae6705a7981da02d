#include "FontInstall.h"
#include "FrameSteps.h"
#include "LaunchProgress.h"
#include "PackageProgress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

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

TEST(LaunchProgress, TheFontCountsWhileFetchedAndOnceInPlace)
{
    struct Case
    {
        int32_t State;
        uint64_t Received, Size;
        uint64_t CountedReceived, CountedExpected;
    };
    const Case cases[] = {
        {FontInstallNotNeeded, 0, 0, 0, 0},
        {FontInstallRunning, 0, 0, 0, FontBytesExpected}, // the server has not told the size yet
        {FontInstallRunning, 1000, 3000000, 1000, 3000000},
        {FontInstallDone, 3000000, 3000000, 3000000, 3000000},
        {FontInstallDone, 5, 3000000, 3000000, 3000000}, // unpacked from an earlier download
        {FontInstallFailed, 2000, 3000000, 0, 0},        // the bar no longer waits for it
    };
    for (const Case& c : cases)
    {
        const CountedFontBytes counted = CountFontBytes(c.State, c.Received, c.Size);
        EXPECT_EQ(counted.Received, c.CountedReceived) << &c - cases;
        EXPECT_EQ(counted.Expected, c.CountedExpected) << &c - cases;
    }
}

TEST(LaunchProgress, BusyWhileDownloadingOrInstallingTheFont)
{
    EXPECT_TRUE(IsBusy(false, false, PackageUpdateDownloading));
    EXPECT_FALSE(IsBusy(false, true, PackageUpdateDownloading)) << "local mode fetches nothing";
    EXPECT_FALSE(IsBusy(false, false, PackageUpdateChecking));
    EXPECT_TRUE(IsBusy(true, true, PackageUpdateDone));
}

TEST(LaunchProgress, MilestonesListEveryTenthReachedAndTheEnd)
{
    struct Case
    {
        double Share;
        bool LocalMode;
        int32_t State;
        std::vector<std::string> Codes;
    };
    const std::vector<std::string> all = {"1004", "1005", "1006", "1007", "1008",
                                          "1009", "1010", "1011", "1012", "1013"};
    const Case cases[] = {
        {0.5, false, PackageUpdateIdle, {}},    // no update under way
        {0.5, false, PackageUpdateStarted, {}}, // still asking
        {0.04, false, PackageUpdateDownloading, {}},
        {0.26, false, PackageUpdateDownloading, {"1004", "1005", "1006"}}, // two tenths passed between ticks
        {1.0, false, PackageUpdateChecking, {}},
        {1.0, false, PackageUpdateDone, all},      // a whole download
        {0.0, false, PackageUpdateDone, {"1013"}}, // up to date: nothing fetched
        {0.0, true, PackageUpdateIdle, {"1013"}},  // local mode
        {0.0, false, PackageUpdateFailed, {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FrameStepCodes(c.Share, c.LocalMode, c.State, false), c.Codes) << &c - cases;
    EXPECT_EQ(FrameStepCodes(0.15, false, PackageUpdateDone, true),
              (std::vector<std::string>{"1004", "1005"}))
        << "the font still downloading";
}
