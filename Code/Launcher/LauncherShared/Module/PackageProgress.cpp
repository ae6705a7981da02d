#include "PackageProgress.h"

PackageProgressSnapshot PackageProgress::Snapshot() const
{
    constexpr std::memory_order relaxed = std::memory_order_relaxed;
    PackageProgressSnapshot values;
    values.PackageUpdateState = PackageUpdateState.load(relaxed);
    values.PackageFailureReason = PackageFailureReason.load(relaxed);
    values.PackageBytesNeeded = PackageBytesNeeded.load(relaxed);
    values.PackageBytesReceived = PackageBytesReceived.load(relaxed);
    values.CrcStartTime = CrcStartTime.load(relaxed);
    values.CrcEndTime = CrcEndTime.load(relaxed);
    values.DownloadStartTime = DownloadStartTime.load(relaxed);
    values.DownloadEndTime = DownloadEndTime.load(relaxed);
    values.DownloadSpeed = DownloadSpeed.load(relaxed);
    values.FullDownloadDone = FullDownloadDone.load(relaxed);
    values.PartialDownloadDone = PartialDownloadDone.load(relaxed);
    return values;
}
