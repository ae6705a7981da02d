#include "LaunchProgress.h"

#include "FontInstall.h"
#include "PackageProgress.h"

#include <cmath>

namespace
{
constexpr double Pi = 3.14159265358979323846;

float Clamp01(double value)
{
    return static_cast<float>(value < 0.0 ? 0.0 : value > 1.0 ? 1.0 : value);
}
} // namespace

double ReceivedShare(uint64_t fontBytesReceived, uint64_t fontBytesExpected, uint64_t packageBytesReceived,
                     uint64_t packageBytesNeeded)
{
    const double received = double(fontBytesReceived) + double(packageBytesReceived);
    const double expected = double(packageBytesNeeded) + 1.0 + double(fontBytesExpected);
    return Clamp01(received / expected);
}

float OverallProgress(uint64_t fontBytesReceived, uint64_t fontBytesExpected, uint64_t packageBytesReceived,
                      uint64_t packageBytesNeeded)
{
    const double share =
        ReceivedShare(fontBytesReceived, fontBytesExpected, packageBytesReceived, packageBytesNeeded);
    return Clamp01(std::sin(share * Pi / 2.0));
}

CountedFontBytes CountFontBytes(int32_t fontInstallState, uint64_t received, uint64_t fileSize)
{
    switch (fontInstallState)
    {
    case FontInstallRunning:
        return {received, fileSize != 0 ? fileSize : FontBytesExpected};
    case FontInstallDone:
        return {fileSize, fileSize};
    default:
        return {};
    }
}

bool IsBusy(bool fontInstalling, bool localMode, int32_t packageUpdateState)
{
    return fontInstalling || (!localMode && packageUpdateState == PackageUpdateDownloading);
}
