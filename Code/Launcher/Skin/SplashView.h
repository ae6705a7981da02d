#pragma once

#include "xString.h"

#include <cstdint>

// The published values the splash screen reads on every paint.
struct SplashInputs
{
    int32_t State = 0; // PackageUpdateState
    // With a failed update: it gave up for want of disk space.
    bool DiskFull = false;
    bool LocalMode = false;
    // The download (or the font installation) is under way: the bar shows Progress.
    bool Busy = false;
    float Progress = 0.0f; // eased, 0 to 1
    bool SelfUpdate = false;
    uint64_t LauncherBytesReceived = 0;
    uint64_t LauncherFileSize = 0;
    // Seconds until the update is tried again after it gave up; -1 when none is waiting.
    int32_t RetrySeconds = -1;
    bool FontInstalling = false;
    // The font installation gave up: the game starts without it.
    bool FontFailed = false;
    // What the download has brought in and what it will bring in all: the
    // package and the font, or the launcher's new build during a self-update.
    uint64_t BytesMoved = 0;
    uint64_t BytesExpected = 0;
    // The splash screen's smoothed rate of BytesMoved and the time left;
    // negative while unknown.
    double BytesPerSecond = -1.0;
    double SecondsLeft = -1.0;
};

// The client may start: no font installing, and the update done (or nothing
// fetched in local mode).
bool IsClientReady(const SplashInputs& inputs);

// What the splash screen draws, worked out from the inputs.
struct SplashView
{
    // The self-update layout centres two lines; the update layout has one status line.
    bool SelfUpdateLayout = false;
    bool ShowBar = true;
    int32_t BarX = 87;
    int32_t BarY = 175;
    float BarFraction = 1.0f;
    // Update layout: at (440, 200), or centred on that row when the update gave
    // up (that line is longer than the room right of 440). Self-update
    // layout: centred at y 136.
    xWString Status;
    bool CentreStatus = false;
    // Self-update layout only: centred at y 116.
    xWString Download;
    // Update layout only: a note centred above the bar (the font is missing).
    xWString Notice;
    // The download's rate and time left, while bytes move at a known rate:
    // under the bar's left end (update layout) or centred under the bar.
    xWString Rate;
};

SplashView ChooseSplashView(const SplashInputs& inputs);

// Pixels of a `pictureWidth` bar shown for a fraction: at least 1, at most all.
int32_t SplashBarWidth(float fraction, int32_t pictureWidth);
// The rate line: "12.3 MB/s · 剩余 1 分 20 秒". The rate in MB/s with one
// decimal from 1 MB/s up, else in whole KB/s (MB and KB of 1024); the time left
// rounded up to the second, as "剩余 N 秒" under a minute, "剩余 M 分 S 秒"
// under an hour, else "剩余 H 时 M 分", and left out when unknown (negative)
// or past 99 hours. Empty when the rate is unknown (not above 0).
xWString TransferRateText(double bytesPerSecond, double secondsLeft);
// The whole percentage shown for a fraction, rounded half up.
int32_t ProgressPercent(float fraction);
// The left edge that centres a text `measuredWidth` wide in a window.
int32_t CentredTextX(int32_t windowWidth, float measuredWidth);

// Where the lines of each layout go.
constexpr int32_t SplashStatusX = 440;
constexpr int32_t SplashStatusY = 200;
constexpr int32_t SplashFailureY = 200;
constexpr int32_t SplashNoticeY = 145;
constexpr int32_t SplashSelfUpdateStatusY = 136;
constexpr int32_t SplashSelfUpdateDownloadY = 116;
constexpr int32_t SplashRateX = 87;
constexpr int32_t SplashRateY = 200;
constexpr int32_t SplashTextWidth = 500;
constexpr int32_t SplashTextHeight = 20;

// The taskbar button's progress for the inputs: a state (TBPFLAG: 0 none,
// 1 indeterminate, 4 error) and, while busy, a value out of TaskbarProgressTotal.
struct TaskbarProgress
{
    int32_t State = 0;
    bool HasValue = false;
    uint64_t Completed = 0;
};
constexpr uint64_t TaskbarProgressTotal = 65535;
TaskbarProgress ChooseTaskbarProgress(const SplashInputs& inputs);
