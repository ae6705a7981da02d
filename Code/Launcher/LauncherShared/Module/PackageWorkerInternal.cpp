#include "PackageWorkerInternal.h"
#include "PackageCheck.h"

#include "xLogLine.h"
#include "xPlatformTime.h"
#include "xTextConversion.h"

#include <thread>

namespace PackageWorkerInternal
{
void PauseAfter(const PackageRetryPolicy& policy, int attempt)
{
    std::this_thread::sleep_for(GrowingPause(policy.FirstPause, policy.LongestPause, attempt));
}

double Now()
{
    return xPlatformTime::Seconds();
}

xWString DownloadedFile(const UpdateContext& context, const xString& name)
{
    return context.GetDownloadFolder() + Utf8ToWide(name);
}

xWString EntryPath(const PackageJob& job, const ManifestEntry& entry)
{
    return job.PublishFolder + entry.Name;
}

bool IsUpToDate(const UpdateContext& context, const PackageJob& job, const ManifestEntry& entry)
{
    return VerifyFile(context.Files, EntryPath(job, entry), ExpectedOf(entry));
}

bool LeftStale(const UpdateContext& context, const PackageJob& job, const ManifestEntry& entry, bool written)
{
    return !written && !IsUpToDate(context, job, entry);
}

bool ReportStale(int staleFiles)
{
    if (staleFiles > 0)
        LogErrorLine("%d client files stay stale", staleFiles);
    return staleFiles == 0;
}

std::string PathKey(const xWString& name)
{
    std::string key = WideToUtf8(name).c_str();
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}
} // namespace PackageWorkerInternal
