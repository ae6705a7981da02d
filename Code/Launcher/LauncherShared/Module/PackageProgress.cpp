#include "PackageProgress.h"

std::atomic<int32_t> PackageUpdateState{PackageUpdateIdle};
std::atomic<int32_t> PackageFailureReason{PackageFailureNone};
std::atomic<uint64_t> PackageBytesNeeded{0};
std::atomic<uint64_t> PackageBytesReceived{0};
std::atomic<double> CrcStartTime{0.0};
std::atomic<double> CrcEndTime{0.0};
std::atomic<double> DownloadStartTime{0.0};
std::atomic<double> DownloadEndTime{0.0};
std::atomic<double> DownloadSpeed{0.0};
std::atomic<bool> FullDownloadDone{false};
std::atomic<bool> PartialDownloadDone{false};

void ResetPackageProgress()
{
    PackageUpdateState = PackageUpdateIdle;
    PackageFailureReason = PackageFailureNone;
    PackageBytesNeeded = 0;
    PackageBytesReceived = 0;
    CrcStartTime = 0.0;
    CrcEndTime = 0.0;
    DownloadStartTime = 0.0;
    DownloadEndTime = 0.0;
    DownloadSpeed = 0.0;
    FullDownloadDone = false;
    PartialDownloadDone = false;
}
