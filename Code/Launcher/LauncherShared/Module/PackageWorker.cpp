#include "PackageWorker.h"
#include "LauncherDownload.h"
#include "PackageCheck.h"
#include "PackageProgress.h"
#include "PackageWorkerInternal.h"
#include "PublishDir.h"

#include "xFile.h"
#include "xLogLine.h"
#include "xPath.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>

using namespace PackageWorkerInternal;

namespace
{
// Launchers running at once share the launcher's folder, where manifests and
// packages land under fixed names: one update at a time downloads there. The
// lock is a file held open without sharing, so a launcher that dies lets go.
std::unique_ptr<xFile> TakeDownloadLock(UpdateContext& context)
{
    const xEngineFileSystem& files = context.Files;
    const xWString path = DownloadedFile(context, "PackageUpdate.lock");
    for (bool told = false;; told = true)
    {
        std::unique_ptr<xFile> lock = files.OpenWrite(path, false, false);
        if (lock)
            return lock;
        // A folder we cannot write to, or a lock file made read-only: no other
        // launcher holds it, so there is nothing to wait for.
        if (!files.IsFile(path) || files.IsReadOnly(path))
            return nullptr;
        if (!told)
            LogLine("Another launcher is updating its client here; waiting for it");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

// The end of every update that gives up: the state tells the splash screen, the
// log tells why. No verified state survives it, so the next run reads every file.
int GiveUp(UpdateContext& context, const PackageJob& job, const char* reason)
{
    ForgetVerifiedState(context, job);
    LogErrorLine("Package update failed: %s", reason);
    context.Progress.PackageUpdateState = PackageUpdateFailed;
    return -1;
}

// What a killed update may leave behind, thrown away once the client is whole:
// the temporary files of client files it was writing, as the client's listing
// found them (the full way rewrites files that were right already, so no later
// run need touch that file again), and the unfinished download of the package
// (a later run may go by ranges) or of the manifest.
void RemoveLeftovers(UpdateContext& context, const PackageJob& job, const std::vector<xWString>& temporaries)
{
    const xEngineFileSystem& files = context.Files;
    for (const xWString& temporary : temporaries)
        files.DeleteFile(job.PublishFolder + temporary);
    for (const xString& name : {job.PackageName, job.ManifestName})
    {
        // A resume record goes before the bytes it counts.
        if (files.IsFile(ResumeRecordPath(context, name)))
            files.DeleteFile(ResumeRecordPath(context, name));
        if (files.IsFile(DownloadedFile(context, name + ".td")))
            files.DeleteFile(DownloadedFile(context, name + ".td"));
    }
}

// Why an update has no manifest to go by; null when it has one.
const char* ManifestFailure(ManifestRead read)
{
    if (read == ManifestRead::Refused)
        return "the manifest's signature was refused";
    if (read == ManifestRead::Unhashed)
        return "the signed manifest lacks SHA-256 sums";
    if (read != ManifestRead::Read)
        return "no readable manifest";
    return nullptr;
}

int UpToDate(UpdateContext& context, const PackageJob& job, const ClientListing& listing)
{
    RemoveLeftovers(context, job, listing.Leftovers);
    LogLine("Client is up to date: %s", job.PackageName.c_str());
    context.Progress.PackageUpdateState = PackageUpdateDone;
    return 0;
}

enum class Way
{
    Full,
    Partial,
    Chunked, // some files made from chunks, the rest by ranges
};

const char* WayName(Way way)
{
    return way == Way::Full ? "full" : way == Way::Chunked ? "chunked" : "partial";
}

// Brings the stale files up to date the chosen way; null when every one is,
// else why not. A client with a file left stale is not whole: never reported Done.
const char* FetchStale(UpdateContext& context, const PackageJob& job, const ClientSurvey& survey,
                       const ChunkedWay& chunks, Way& way)
{
    if (way != Way::Full)
    {
        bool chunked = false;
        const std::vector<ManifestEntry> left = ChunkedPackageDownload(context, job, chunks, chunked);
        way = chunked ? Way::Chunked : Way::Partial;
        if (!left.empty() && !PartialPackageDownload(context, job, left))
            return "the partial way did not bring every file up to date";
        context.Progress.PartialDownloadDone = true;
        return nullptr;
    }
    if (!RoomForFullWay(context, job, survey.Safe))
    {
        context.Progress.PackageFailureReason = PackageFailureDiskFull;
        return "not enough free disk space for the full way";
    }
    if (!FullPackageDownload(context, job, survey.Safe))
        return "the full way did not bring every file up to date";
    context.Progress.FullDownloadDone = true;
    return nullptr;
}

// The files an update that ended well wrote: every one on the full way, the
// stale ones else.
std::vector<bool> WrittenFiles(const ClientSurvey& survey, Way way)
{
    std::vector<bool> written(survey.Safe.Entries.size(), way == Way::Full);
    std::unordered_set<std::string> stale;
    for (const ManifestEntry& entry : survey.Stale)
        stale.insert(PathKey(entry.Name));
    for (size_t i = 0; i < written.size(); ++i)
        written[i] = written[i] || stale.count(PathKey(survey.Safe.Entries[i].Name)) > 0;
    return written;
}
} // namespace

std::chrono::milliseconds GrowingPause(std::chrono::milliseconds first, std::chrono::milliseconds longest,
                                       int attempt)
{
    std::chrono::milliseconds pause = first;
    for (int doubling = 1; doubling < attempt && pause < longest; ++doubling)
        pause *= 2;
    return std::min(pause, longest);
}

int PackageUpdateThread(UpdateContext& context, const PackageJob& request)
{
    if (request.LocalMode)
    {
        context.Progress.PackageUpdateState = PackageUpdateDone;
        return 0;
    }
    PackageJob job = request;
    if (job.PublishFolder.IsEmpty())
        job.PublishFolder = PublishDir();
    const std::unique_ptr<xFile> downloadLock = TakeDownloadLock(context);
    const std::optional<VerifiedState> record = LoadVerifiedState(context, job);
    FetchedManifest manifest;
    if (const char* reason = ManifestFailure(
            FetchManifest(context, job, context.RetryPolicy, WholeClientManifest(job, record), manifest)))
        return GiveUp(context, job, reason);
    context.Progress.PackageUpdateState = PackageUpdateChecking;

    ClientListing listing;
    if (!manifest.Parsed && TrustsWholeClient(context, job, *record, listing))
        return UpToDate(context, job, listing);
    if (const char* reason = ManifestFailure(ParseFetchedManifest(manifest, job.ManifestName)))
        return GiveUp(context, job, reason);
    const ClientSurvey survey = SurveyClient(context, job, manifest.Content, manifest.Hash, record);
    // A missing empty file is stale too, though it needs no bytes.
    if (survey.Stale.empty() && survey.RecordCurrent)
        return UpToDate(context, job, survey.Listing);
    if (survey.Stale.empty())
    {
        const ClientListing now = ListClient(context, job, survey);
        RecordVerifiedState(context, job, survey, std::vector<bool>(survey.Safe.Entries.size(), false), now);
        return UpToDate(context, job, now);
    }

    if (!ForgetVerifiedState(context, job))
        return GiveUp(context, job, "the verified state cannot be removed");
    context.Progress.PackageBytesNeeded = survey.Needed;
    context.Progress.PackageBytesReceived = 0;
    context.Progress.PackageUpdateState = PackageUpdateDownloading;
    // The whole package when it moves fewer bytes than the files' chunks and ranges would.
    const ChunkedWay chunks = PlanChunkedWay(context, job, survey.Stale);
    Way way = PrefersFullDownload(chunks.Bytes(), survey.Total) ? Way::Full : Way::Partial;
    if (const char* reason = FetchStale(context, job, survey, chunks, way))
        return GiveUp(context, job, reason);
    const ClientListing now = ListClient(context, job, survey);
    RemoveLeftovers(context, job, now.Leftovers);
    RecordVerifiedState(context, job, survey, WrittenFiles(survey, way), now);
    const double elapsed = context.Progress.DownloadEndTime - context.Progress.DownloadStartTime;
    context.Progress.DownloadSpeed = elapsed > 0.0 ? static_cast<double>(survey.Needed) / elapsed : 0.0;
    LogLine("Client updated to %s (%s way, %llu of %llu bytes stale)", job.PackageName.c_str(), WayName(way),
            static_cast<unsigned long long>(survey.Needed), static_cast<unsigned long long>(survey.Total));
    context.Progress.PackageUpdateState = PackageUpdateDone;
    return 0;
}
