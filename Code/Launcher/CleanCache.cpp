#include "CleanCache.h"
#include "PackageUpdate.h"
#include "ProductProfile.h"

#include "CacheCleaner.h"
#include "FontInstall.h"
#include "PackageProgress.h"
#include "PackageWorkerThread.h"
#include "UpdateContext.h"
#include "PublishDir.h"

#include "xLogLine.h"
#include "xSystemPaths.h"

const char* CacheCleanRefusal(bool updateBusy, bool fontInstalling)
{
    if (updateBusy)
        return "the client update is running";
    if (fontInstalling)
        return "the font is being installed";
    return nullptr;
}

CacheCleanOutcome CleanCache()
{
    if (!TheProfile.SupportsCacheCleaning())
        return CacheCleanOutcome::Disabled;
    if (const char* refusal = CacheCleanRefusal(ThePackageWorker().IsBusy(), IsFontInstalling()))
    {
        LogLine("Cache cleaning refused: %s", refusal);
        return CacheCleanOutcome::Refused;
    }
    // The folder this process holds: a second launcher's folder is its own business.
    const CacheCleanCount count = CleanCacheIn(GetModuleDirectory(), PublishDir());
    TheUpdateContext().Progress.PackageUpdateState = PackageUpdateIdle;
    return CleanedOutcome(count);
}

CacheCleanOutcome CleanedOutcome(const CacheCleanCount& count)
{
    return count.Failed == 0 ? CacheCleanOutcome::Cleaned : CacheCleanOutcome::InUse;
}
