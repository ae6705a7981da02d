#include "DecoderBuffers.h"
#include "EarlyWriter.h"
#include "LauncherDownload.h"
#include "PackageCheck.h"
#include "PackageWorkerInternal.h"

#include "xLogLine.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

using namespace PackageWorkerInternal;

namespace
{
// One entry of the full way, written from the package or left as it was with
// an error line. True when the file is right afterwards.
bool WriteFromPackage(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                      xFile& package, uint64_t packageSize, DecoderBuffers& buffers)
{
    PutResult result = PutResult::Failed;
    if (!FitsInData(entry, 0, packageSize))
        LogErrorLine("Manifest entry %s reaches past the package's end; skipped",
                     xString(entry.Name).c_str());
    else if (entry.Compressed == 0)
        result = CopyEntryFile(context, job, entry, package, false);
    else
        result = UnpackEntryFile(context, job, entry, package, buffers, false);
    LogWrongBytes(entry, result);
    return !LeftStale(context, job, entry, result == PutResult::InPlace);
}

// The full way's work, in the order the decoders take it: each entry alone,
// except that entries whose paths clash (one name twice, one file's name another
// one's folder or temporary file) go together in one item, written in manifest
// order as a single decoder would. Well-formed manifests have no such entries.
std::vector<std::vector<size_t>> FullWayWork(const std::vector<ManifestEntry>& entries)
{
    std::vector<std::string> keys;
    std::unordered_map<std::string, int> files; // every entry's name and temporary name
    std::unordered_set<std::string> folders;
    for (const ManifestEntry& entry : entries)
    {
        keys.push_back(PathKey(entry.Name));
        const std::string& key = keys.back();
        ++files[key];
        ++files[key + ".td"];
        for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1))
            folders.insert(key.substr(0, slash));
    }
    const auto filesNamed = [&](const std::string& key)
    {
        const auto found = files.find(key);
        return found == files.end() ? 0 : found->second;
    };
    std::vector<std::vector<size_t>> work;
    size_t clashingItem = SIZE_MAX;
    for (size_t index = 0; index < entries.size(); ++index)
    {
        const std::string& key = keys[index];
        bool clashes = false;
        for (const std::string& own : {key, key + ".td"})
            clashes = clashes || filesNamed(own) > 1 || folders.count(own) > 0;
        for (size_t slash = key.find('/'); !clashes && slash != std::string::npos;
             slash = key.find('/', slash + 1))
            clashes = filesNamed(key.substr(0, slash)) > 0;
        if (!clashes)
            work.push_back({index});
        else if (clashingItem != SIZE_MAX)
            work[clashingItem].push_back(index);
        else
        {
            clashingItem = work.size();
            work.push_back({index});
        }
    }
    return work;
}

// How much of the package's room its unfinished transfer holds: what its .td
// takes, which the next transfer writes into. DownloadFile sets the whole size
// aside before the first byte (on NTFS that allocates it), so a cut transfer's
// file may hold far more room than the bytes its resume record counts.
uint64_t TransferRoomHeld(UpdateContext& context, const PackageJob& job, uint64_t packageSize)
{
    const int64_t allocated =
        context.Files.GetAllocatedSize(DownloadedFile(context, job.PackageName + ".td"));
    uint64_t held = allocated > 0 ? static_cast<uint64_t>(allocated) : 0;
    ResumeRecord record;
    if (LoadResumeRecord(context, job.PackageName, record) && record.Size == packageSize)
        held = std::max(held, record.Done);
    return std::min(held, packageSize);
}
} // namespace

// Whether the volumes of the download and publish folders have room for the
// full way; says which one is short when not. The package lands whole in the
// download folder, less what an earlier run left there (a complete package, or
// the room of a cut transfer: TransferRoomHeld). Each client file is written
// beside the copy it replaces, which goes only at the move: the publish folder grows by what the new files
// add over the old ones (all of them for a fresh client), and holds one unfinished file on top, at most the
// largest unpacked member. Several decoders may each hold one; a write that still runs out of room leaves its
// file as it was and the update fails, so this is the bound for a single writer, not a promise.
bool PackageWorkerInternal::RoomForFullWay(UpdateContext& context, const PackageJob& job,
                                           const Manifest& manifest)
{
    const xEngineFileSystem& files = context.Files;
    const uint64_t packageSize = manifest.Package.TotalSize;
    const bool complete =
        files.GetFileSize(DownloadedFile(context, job.PackageName)) == static_cast<int64_t>(packageSize);
    const uint64_t packageNeed = complete ? 0 : packageSize - TransferRoomHeld(context, job, packageSize);
    uint64_t publishNeed = 0;
    uint64_t largest = 0;
    for (const ManifestEntry& entry : manifest.Entries)
    {
        const int64_t now = files.GetFileSize(EntryPath(job, entry));
        const uint64_t old = now > 0 ? static_cast<uint64_t>(now) : 0;
        publishNeed += entry.OrigSize > old ? entry.OrigSize - old : 0;
        largest = std::max<uint64_t>(largest, entry.OrigSize);
    }
    publishNeed += largest;

    files.CreateDirectory(job.PublishFolder, true);
    const xWString downloadFolder = context.GetDownloadFolder();
    xVolumeSpace download;
    xVolumeSpace publish;
    // A system that cannot tell leaves it to the writes, which fail cleanly.
    if (!files.GetVolumeSpace(downloadFolder, download) || !files.GetVolumeSpace(job.PublishFolder, publish))
        return true;
    const auto shortOf = [](const char* what, const xWString& folder, uint64_t need, uint64_t available)
    {
        LogErrorLine("Not enough disk space for the update: %s %s needs %llu bytes, %llu are free", what,
                     xString(folder).c_str(), static_cast<unsigned long long>(need),
                     static_cast<unsigned long long>(available));
        return false;
    };
    // Wine maps the whole Unix tree onto one drive, whose folders may lie on
    // several file systems: a different size tells those apart.
    if (download.Volume == publish.Volume && download.Total == publish.Total)
    {
        if (download.Free < packageNeed + publishNeed)
            return shortOf("the volume of", downloadFolder, packageNeed + publishNeed, download.Free);
        return true;
    }
    if (download.Free < packageNeed)
        return shortOf("the download folder", downloadFolder, packageNeed, download.Free);
    if (publish.Free < publishNeed)
        return shortOf("the publish folder", job.PublishFolder, publishNeed, publish.Free);
    return true;
}

namespace
{
// After a transfer that did not bring the package: true, with the reason in the
// log and for the splash screen, when the download folder has no room for the
// rest, which no further try would change.
bool DownloadFolderFull(UpdateContext& context, const PackageJob& job, const PackageInfo& package)
{
    // The record stays only while the transfer is unfinished.
    ResumeRecord record;
    if (!LoadResumeRecord(context, job.PackageName, record) || record.Size != package.TotalSize)
        return false;
    const uint64_t more = package.TotalSize - TransferRoomHeld(context, job, package.TotalSize);
    xVolumeSpace space;
    if (!context.Files.GetVolumeSpace(context.GetDownloadFolder(), space) || space.Free >= more)
        return false;
    LogErrorLine("The download folder %s is full: %llu bytes free, the package needs %llu more",
                 xString(context.GetDownloadFolder()).c_str(), static_cast<unsigned long long>(space.Free),
                 static_cast<unsigned long long>(more));
    context.Progress.PackageFailureReason = PackageFailureDiskFull;
    return true;
}

// The package, opened without write sharing, when it verifies: on Windows nobody
// may write, rename or delete it while the handle is held, so what the writing
// reads from it is what was checked. Null (and closed, so a download may
// replace it) when it does not verify.
std::unique_ptr<xFile> OpenVerifiedPackage(UpdateContext& context, const xWString& path,
                                           const PackageInfo& package)
{
    std::unique_ptr<xFile> file = context.Files.OpenReadPlain(path, false);
    if (!file || !VerifyOpenFile(*file, ExpectedOf(package)))
        return nullptr;
    return file;
}

// Fetches until the package verifies (bounded) and gives it open, as
// OpenVerifiedPackage does; null when it never verified. `early`, when given,
// starts just before the first transfer and watches it.
std::unique_ptr<xFile> FetchPackage(UpdateContext& context, const PackageJob& job, const PackageInfo& package,
                                    const PackageRetryPolicy& policy, EarlyWriter* early)
{
    const xString url = job.BaseUrl + job.PackageName;
    const xWString path = DownloadedFile(context, job.PackageName);
    for (int downloads = 0;; ++downloads)
    {
        if (std::unique_ptr<xFile> verified = OpenVerifiedPackage(context, path, package))
            return verified;
        if (downloads >= policy.PackageAttempts)
        {
            LogErrorLine("Package %s did not verify after %d downloads", url.c_str(), downloads);
            return nullptr;
        }
        if (downloads > 0)
        {
            LogErrorLine("Package %s did not verify; fetching it again", url.c_str());
            PauseAfter(policy, downloads);
        }
        // A transfer cut short (a dropped connection, a killed launcher) goes on
        // from the bytes on disk; one that came whole but wrong was renamed and
        // took its record along, so the next one starts from the first byte.
        // What it counted stays for the readers once the package verifies.
        context.Progress.PackageBytesReceived = 0;
        DownloadWatch* watch = nullptr;
        if (early != nullptr && downloads == 0)
        {
            early->Start(static_cast<size_t>(context.GetDecoderCount()));
            watch = &early->Watch;
        }
        // The manifest says how large the package is; a server that announces
        // more gets no disk space for it.
        TransferOptions options;
        options.Received = &context.Progress.PackageBytesReceived;
        options.Watch = watch;
        options.Resume = true;
        options.MaxSize = package.TotalSize;
        TransferFile(context, url, options);
        if (DownloadFolderFull(context, job, package))
            return nullptr;
    }
}

// The work items the early writer did not bring up to date.
std::vector<std::vector<size_t>> WorkLeft(const std::vector<std::vector<size_t>>& allWork,
                                          const EarlyWriter& early)
{
    std::vector<std::vector<size_t>> work;
    for (size_t item = 0; item < allWork.size(); ++item)
        if (!early.Written(item))
            work.push_back(allWork[item]);
    return work;
}

// Several decoders take the costliest files first, so that none is left with
// a long one while the others have run out of work. Unpacking costs about
// what a copy of sixteen times the bytes does.
void CostliestFirst(std::vector<std::vector<size_t>>& work, const Manifest& manifest)
{
    const auto cost = [&](const std::vector<size_t>& item)
    {
        uint64_t sum = 0;
        for (size_t index : item)
        {
            const ManifestEntry& entry = manifest.Entries[index];
            sum += entry.Compressed != 0 ? uint64_t{entry.OrigSize} * 16 : entry.OrigSize;
        }
        return sum;
    };
    std::stable_sort(work.begin(), work.end(),
                     [&](const std::vector<size_t>& a, const std::vector<size_t>& b)
                     { return cost(a) > cost(b); });
}

// Writes the work items from the verified package, `decoders` at a time;
// returns how many files stay stale.
int DecodeWork(UpdateContext& context, const PackageJob& job, const Manifest& manifest,
               const std::vector<std::vector<size_t>>& work, size_t decoders, xFile& package)
{
    const uint64_t packageSize = manifest.Package.TotalSize;
    std::atomic<size_t> nextItem{0};
    std::atomic<int> staleFiles{0};
    // Each decoder takes the next item until none is left, with one packed
    // file's data in its buffers at a time, never the whole package.
    const auto decode = [&](xFile& reader)
    {
        DecoderBuffers buffers;
        for (size_t item; (item = nextItem++) < work.size();)
            for (size_t index : work[item])
                if (!WriteFromPackage(context, job, manifest.Entries[index], reader, packageSize, buffers))
                    ++staleFiles;
    };
    // This thread is one decoder, on the verified handle; each other one reads
    // through a reader of its own, as a reader has one position, opened while
    // that handle keeps writers out. One that cannot start leaves its share to
    // the others. Every file is checked against its own sums as it is written
    // besides, so bytes changed after the check (where sharing is advisory,
    // natively) never land.
    const xWString path = DownloadedFile(context, job.PackageName);
    std::vector<std::thread> helpers;
    helpers.reserve(decoders);
    for (size_t started = 1; started < decoders; ++started)
    {
        std::shared_ptr<xFile> reader = context.Files.OpenReadPlain(path, false);
        if (!reader)
            break;
        try
        {
            helpers.emplace_back([&decode, reader] { decode(*reader); });
        }
        catch (const std::system_error&)
        {
            break;
        }
    }
    decode(package);
    for (std::thread& helper : helpers)
        helper.join();
    return staleFiles;
}
} // namespace

bool FullPackageDownload(UpdateContext& context, const PackageJob& job, const Manifest& manifest)
{
    const std::vector<std::vector<size_t>> allWork = FullWayWork(manifest.Entries);
    EarlyWriter early(context, job, manifest, allWork);
    // Held until the last file is written. Plain readers: whole containers and
    // 1 MiB pieces go straight into their buffers.
    const std::unique_ptr<xFile> package =
        FetchPackage(context, job, manifest.Package, context.RetryPolicy, &early);
    early.Finish();
    if (!package)
        return false;
    context.Progress.DownloadEndTime = Now();
    context.Progress.PackageUpdateState = PackageUpdateChecking;

    context.Files.CreateDirectory(job.PublishFolder, true);
    std::vector<std::vector<size_t>> work = WorkLeft(allWork, early);
    const size_t decoders = std::min<size_t>(static_cast<size_t>(context.GetDecoderCount()), work.size());
    if (decoders > 1)
        CostliestFirst(work, manifest);
    return ReportStale(DecodeWork(context, job, manifest, work, decoders, *package));
}
