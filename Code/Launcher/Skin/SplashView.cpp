#include "SplashView.h"

#include "PackageProgress.h"

#include "xTextConversion.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace
{
xWString DownloadText(float fraction)
{
    char text[64];
    std::snprintf(text, sizeof text, "下载进度 %d %%", ProgressPercent(fraction));
    return Utf8ToWide(text);
}

// A full disk is named: waiting helps only once the player has made room.
xWString RetryText(int32_t seconds, bool diskFull)
{
    const char* reason = diskFull ? "磁盘空间不足" : "更新失败";
    char text[96];
    if (seconds <= 0)
        std::snprintf(text, sizeof text, "%s，正在重试", reason);
    else
        std::snprintf(text, sizeof text, "%s，%d 秒后自动重试", reason, seconds);
    return Utf8ToWide(text);
}
} // namespace

xWString TransferRateText(double bytesPerSecond, double secondsLeft)
{
    constexpr double Kilo = 1024.0;
    constexpr double Mega = 1024.0 * 1024.0;
    constexpr double MostSeconds = 99.0 * 3600.0;
    if (!(bytesPerSecond > 0.0))
        return xWString();
    char text[96];
    const int length = bytesPerSecond >= Mega
                           ? std::snprintf(text, sizeof text, "%.1f MB/s", bytesPerSecond / Mega)
                           : std::snprintf(text, sizeof text, "%.0f KB/s", bytesPerSecond / Kilo);
    if (secondsLeft >= 0.0 && secondsLeft <= MostSeconds)
    {
        const int64_t left = std::max<int64_t>(1, static_cast<int64_t>(std::ceil(secondsLeft)));
        const int64_t hours = left / 3600;
        const int64_t minutes = left / 60 % 60;
        const int64_t seconds = left % 60;
        char* tail = text + length;
        const size_t room = sizeof text - static_cast<size_t>(length);
        if (hours > 0)
            std::snprintf(tail, room, " · 剩余 %d 时 %d 分", int(hours), int(minutes));
        else if (minutes > 0)
            std::snprintf(tail, room, " · 剩余 %d 分 %d 秒", int(minutes), int(seconds));
        else
            std::snprintf(tail, room, " · 剩余 %d 秒", int(seconds));
    }
    return Utf8ToWide(text);
}

int32_t ProgressPercent(float fraction)
{
    return static_cast<int32_t>(std::floor(fraction * 100.0f + 0.5f));
}

int32_t SplashBarWidth(float fraction, int32_t pictureWidth)
{
    int32_t width = static_cast<int32_t>(static_cast<float>(pictureWidth) * fraction);
    if (width < 2)
        width = 1;
    if (width > pictureWidth)
        width = pictureWidth;
    return width;
}

int32_t CentredTextX(int32_t windowWidth, float measuredWidth)
{
    return static_cast<int32_t>((static_cast<float>(windowWidth) - measuredWidth) / 2.0f);
}

SplashView ChooseSplashView(const SplashInputs& inputs)
{
    SplashView view;
    if (inputs.SelfUpdate)
    {
        // The size is unknown until the server's first answer; the bar stands at 0 until then.
        const double fraction = inputs.LauncherFileSize == 0
                                    ? 0.0
                                    : static_cast<double>(inputs.LauncherBytesReceived) /
                                          static_cast<double>(inputs.LauncherFileSize);
        view.SelfUpdateLayout = true;
        // The bar fills the art's one groove here too: anywhere else it would
        // float over the background picture.
        view.BarFraction = static_cast<float>(fraction);
        view.Status = u"正在更新微端";
        view.Download = DownloadText(view.BarFraction);
        view.Rate = TransferRateText(inputs.BytesPerSecond, inputs.SecondsLeft);
        return view;
    }
    // The update goes on without the font; the player learns why the game's
    // texts may look wrong.
    if (inputs.FontFailed)
        view.Notice = u"字体安装失败，文字可能显示异常";
    if (inputs.Busy)
    {
        view.BarFraction = inputs.Progress;
        view.Status = DownloadText(inputs.Progress);
        view.Rate = TransferRateText(inputs.BytesPerSecond, inputs.SecondsLeft);
        return view;
    }
    switch (inputs.LocalMode ? int32_t(PackageUpdateDone) : inputs.State)
    {
    case PackageUpdateIdle:
    case PackageUpdateStarted:
        view.BarFraction = 0.0f;
        view.Status = u"正在与服务器连接";
        break;
    case PackageUpdateChecking:
        view.Status = u"检查当前版本";
        break;
    case PackageUpdateDone:
        view.Status = u"加载完成，愉快的玩耍吧！";
        break;
    case PackageUpdateFailed:
        // Never a frozen bar: the line says what happened and counts down to the next try.
        view.ShowBar = false;
        view.CentreStatus = true;
        view.Status = RetryText(inputs.RetrySeconds, inputs.DiskFull);
        break;
    default:
        break;
    }
    return view;
}

TaskbarProgress ChooseTaskbarProgress(const SplashInputs& inputs)
{
    TaskbarProgress progress;
    if (inputs.Busy)
    {
        progress.State = 1;
        progress.HasValue = true;
        const float fraction = inputs.Progress < 0.0f   ? 0.0f
                               : inputs.Progress > 1.0f ? 1.0f
                                                        : inputs.Progress;
        progress.Completed = static_cast<uint64_t>(fraction * float(TaskbarProgressTotal));
        return progress;
    }
    // An update that gave up shows red on the taskbar too, until it tries again.
    if (!inputs.LocalMode && !inputs.SelfUpdate && inputs.State == PackageUpdateFailed)
        progress.State = 4;
    return progress;
}

bool IsClientReady(const SplashInputs& inputs)
{
    return !inputs.FontInstalling && (inputs.LocalMode || inputs.State == PackageUpdateDone);
}
