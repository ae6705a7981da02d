#include "PackageProgress.h"

PackageProgressSnapshot PackageProgress::Snapshot() const
{
    constexpr std::memory_order relaxed = std::memory_order_relaxed;
    PackageProgressSnapshot values;
    values.PackageUpdateState = PackageUpdateState.load(relaxed);
    values.PackageFailureReason = PackageFailureReason.load(relaxed);
    values.PackageBytesNeeded = PackageBytesNeeded.load(relaxed);
    values.PackageBytesReceived = PackageBytesReceived.load(relaxed);
    return values;
}
