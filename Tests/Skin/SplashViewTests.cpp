#include "EngineText.h"
#include "PackageProgress.h"
#include "SplashView.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

// The status line, the bar, the taskbar button, the font's notice and whether the client may start.
TEST(SplashView, UpdateLayoutFollowsTheState)
{
    const float half = static_cast<float>(std::sin(3.14159265358979 / 4)); // half the bytes, eased
    enum Font
    {
        FontIdle,
        FontInstalling, // the game waits for it
        FontFailed,     // noted while the update goes on
    };
    struct Case
    {
        int32_t State;
        bool LocalMode, Busy;
        Font FontState;
        float Progress;
        int32_t Retry;
        const char16_t* Text;
        bool Bar;
        int32_t BarPixels;
        bool Ready; // the client may start
        // The taskbar button: its state and, while busy, its value of 65535.
        int32_t Taskbar = 0;
        uint64_t TaskbarValue = 0;
        // Gave up for want of disk space (a reason left from a failed try counts only while failed).
        bool DiskFull = false;
    };
    const Case cases[] = {
        {PackageUpdateStarted, false, false, FontIdle, 0.9f, -1, u"正在与服务器连接", true, 1, false},
        {PackageUpdateDownloading, false, true, FontIdle, half, -1, u"下载进度 71 %", true, 293, false, 1,
         46340},
        {PackageUpdateChecking, false, false, FontIdle, 0.3f, -1, u"检查当前版本", true, 415, false},
        {PackageUpdateDone, false, false, FontIdle, 1.0f, -1, u"加载完成，愉快的玩耍吧！", true, 415, true},
        {PackageUpdateIdle, true, false, FontIdle, 0.0f, -1, u"加载完成，愉快的玩耍吧！", true, 415, true},
        {PackageUpdateDone, false, true, FontInstalling, 0.5f, -1, u"下载进度 50 %", true, 207, false, 1,
         32767},
        {PackageUpdateDone, false, false, FontFailed, 1.0f, -1, u"加载完成，愉快的玩耍吧！", true, 415, true},
        {PackageUpdateFailed, false, false, FontIdle, 0.4f, 30, u"更新失败，30 秒后自动重试", false, 0, false,
         4},
        {PackageUpdateFailed, false, false, FontFailed, 0.4f, 30, u"更新失败，30 秒后自动重试", false, 0,
         false, 4},
        {PackageUpdateFailed, false, false, FontIdle, 0.4f, 0, u"更新失败，正在重试", false, 0, false, 4},
        {PackageUpdateFailed, false, false, FontIdle, 0.4f, 30, u"磁盘空间不足，30 秒后自动重试", false, 0,
         false, 4, 0, true},
        {PackageUpdateChecking, false, false, FontIdle, 0.3f, -1, u"检查当前版本", true, 415, false, 0, 0,
         true},
        {PackageUpdateDownloading, false, false, FontIdle, 0.5f, -1, u"", true, 415, false},
    };
    for (const Case& c : cases)
    {
        SplashInputs inputs;
        inputs.State = c.State;
        inputs.LocalMode = c.LocalMode;
        inputs.Busy = c.Busy;
        inputs.FontInstalling = c.FontState == FontInstalling;
        inputs.FontFailed = c.FontState == FontFailed;
        inputs.Progress = c.Progress;
        inputs.RetrySeconds = c.Retry;
        inputs.DiskFull = c.DiskFull;
        const SplashView view = ChooseSplashView(inputs);
        SCOPED_TRACE(&c - cases);
        EXPECT_FALSE(view.SelfUpdateLayout);
        EXPECT_EQ(view.Status, xWString(c.Text));
        EXPECT_EQ(view.Notice, xWString(c.FontState == FontFailed ? u"字体安装失败，文字可能显示异常" : u""));
        EXPECT_EQ(IsClientReady(inputs), c.Ready);
        EXPECT_EQ(view.ShowBar, c.Bar);
        const TaskbarProgress taskbar = ChooseTaskbarProgress(inputs);
        EXPECT_EQ(std::make_tuple(taskbar.State, taskbar.HasValue, taskbar.Completed),
                  std::make_tuple(c.Taskbar, c.Busy, c.TaskbarValue));
        if (c.Bar)
        {
            EXPECT_EQ(std::make_tuple(SplashBarWidth(view.BarFraction, 415), view.BarX, view.BarY),
                      std::make_tuple(c.BarPixels, 87, 175));
        }
    }
}

TEST(SplashView, BarAndPercentBounds)
{
    EXPECT_EQ(SplashBarWidth(-0.5f, 415), 1);
    EXPECT_EQ(SplashBarWidth(0.004f, 415), 1);
    EXPECT_EQ(SplashBarWidth(1.7f, 415), 415);
    EXPECT_EQ(SplashBarWidth(0.5f, 0), 0) << "no picture: nothing";
    EXPECT_EQ(ProgressPercent(0.005f), 1);
    EXPECT_EQ(ProgressPercent(0.994f), 99);
    EXPECT_EQ(CentredTextX(591, 90.5f), 250);
    SplashInputs selfUpdate;
    selfUpdate.SelfUpdate = true;
    selfUpdate.LauncherBytesReceived = 500;
    EXPECT_EQ(ChooseSplashView(selfUpdate).Download, xWString(u"下载进度 0 %"))
        << "the size is not known yet";
}

TEST(SplashView, RateLineShowsAKnownRateAndTheTimeLeft)
{
    constexpr double Mega = 1 << 20;
    struct Case
    {
        double Rate, Left;
        const char16_t* Text;
    };
    const Case cases[] = {
        {12.3 * Mega, 80, u"12.3 MB/s · 剩余 1 分 20 秒"},
        {512 * 1024, 5.2, u"512 KB/s · 剩余 6 秒"},
        {Mega, 59.5, u"1.0 MB/s · 剩余 1 分 0 秒"},
        {Mega, 0.0, u"1.0 MB/s · 剩余 1 秒"},
        {3 * Mega, 3725, u"3.0 MB/s · 剩余 1 时 2 分"},
        {2 * Mega, -1, u"2.0 MB/s"}, // no size known
        {1024, 99 * 3600 + 1, u"1 KB/s"},
        {0, 10, u""},
        {-1, 10, u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TransferRateText(c.Rate, c.Left), xWString(c.Text)) << c.Rate << " " << c.Left;

    // Both layouts carry the line while the download runs, neither without a rate.
    SplashInputs inputs;
    inputs.State = PackageUpdateDownloading;
    inputs.Busy = true;
    inputs.BytesPerSecond = 2 * Mega;
    inputs.SecondsLeft = 30;
    EXPECT_EQ(ChooseSplashView(inputs).Rate, xWString(u"2.0 MB/s · 剩余 30 秒"));
    inputs.SelfUpdate = true;
    EXPECT_EQ(ChooseSplashView(inputs).Rate, xWString(u"2.0 MB/s · 剩余 30 秒"));
    inputs.SelfUpdate = false;
    inputs.Busy = false;
    inputs.State = PackageUpdateChecking;
    EXPECT_TRUE(ChooseSplashView(inputs).Rate.IsEmpty());
}
