#include "ChunkIndex.h"
#include "ChunkIndexFormat.h"
#include "ChunkPacks.h"
#include "ChunkPlan.h"
#include "ChunkedFileWriter.h"
#include "LauncherDownload.h"
#include "LauncherDownloadInternal.h"
#include "OldCopyCut.h"
#include "PackageWorkerInternal.h"
#include "UpdateSignature.h"

#include "xLogLine.h"

#include <unordered_map>

using namespace PackageWorkerInternal;

namespace
{
constexpr char PackageSuffix[] = ".pkg";
constexpr char VersionPrefix[] = "Startup";

// "Startup<version>" of "Startup<version>.pkg"; empty for another name.
std::string PackageStem(const PackageJob& job)
{
    const std::string name = job.PackageName.c_str();
    const size_t suffix = sizeof(PackageSuffix) - 1;
    if (name.size() <= suffix || name.compare(name.size() - suffix, suffix, PackageSuffix) != 0)
        return std::string();
    return name.substr(0, name.size() - suffix);
}

// The index's size from a HEAD; -1 (quietly: older servers have none) when it is not there.
int64_t ChunkIndexSize(const xString& url)
{
    LauncherDownloadInternal::Target target;
    if (!LauncherDownloadInternal::OpenTarget(url, target))
        return -1;
    return QueryRemoteSize(target.Connection.get(), target.Parts.Path.c_str());
}

// Why the fetched index is not used; null when it is.
std::string IndexRefusal(const std::string& stem, const xString& url, const std::vector<uint8_t>& bytes,
                         ChunkIndex& index)
{
    const xString name = (stem + ChunkIndexFormat::IndexSuffix).c_str();
    if (!CheckUpdateSignature(url, name, bytes.data(), bytes.size()))
        return "its signature was refused";
    std::string error;
    if (!ParseChunkIndex(bytes.data(), bytes.size(), index, error))
        return error;
    if (stem != VersionPrefix + index.Version)
        return "it describes version \"" + index.Version + "\"";
    return std::string();
}

// The version's chunk index, fetched only when it is smaller than the bytes
// it could save (`worth`). Every way of not having one leaves the stale files
// to the partial way, with a line that says why.
bool FetchChunkIndex(const PackageJob& job, uint64_t worth, ChunkIndex& index)
{
    const std::string stem = PackageStem(job);
    if (stem.empty())
        return false;
    const xString url = job.BaseUrl + (stem + ChunkIndexFormat::IndexSuffix).c_str();
    const int64_t size = ChunkIndexSize(url);
    // Read whole into memory: no larger than a manifest may be (about 1 MB a GiB of client).
    if (size > static_cast<int64_t>(MaxManifestBytes))
    {
        LogErrorLine("Chunk index %s is larger than %llu bytes; the stale files go by ranges", url.c_str(),
                     static_cast<unsigned long long>(MaxManifestBytes));
        return false;
    }
    if (size < 0 || static_cast<uint64_t>(size) >= worth)
    {
        LogLine(size < 0 ? "No chunk index at %s; the stale files go by ranges"
                         : "The chunk index at %s is larger than it could save; the stale files go by ranges",
                url.c_str());
        return false;
    }
    std::vector<uint8_t> bytes;
    if (!FetchBytes(url, static_cast<size_t>(size), bytes))
    {
        LogErrorLine("Chunk index %s could not be fetched; the stale files go by ranges", url.c_str());
        return false;
    }
    const std::string refusal = IndexRefusal(stem, url, bytes, index);
    if (refusal.empty())
        return true;
    LogErrorLine("Chunk index %s is not used: %s; the stale files go by ranges", url.c_str(),
                 refusal.c_str());
    index = ChunkIndex();
    return false;
}

// A stale file the chunked way may make: it has data and an old copy.
bool HasOldCopy(const UpdateContext& context, const PackageJob& job, const ManifestEntry& entry)
{
    return entry.DataSize > 0 && context.Files.IsFile(EntryPath(job, entry));
}

// The stale files the index names at their size, whose plan moves fewer bytes
// than their range: decided from the index and the cut of the old copies
// alone, before anything is fetched. The rest go by ranges.
std::vector<ChunkedFile> ChooseChunked(const UpdateContext& context, const PackageJob& job,
                                       const ChunkIndex& index, const std::vector<ManifestEntry>& stale,
                                       std::vector<ManifestEntry>& byRanges)
{
    std::unordered_map<std::string, const ChunkIndexFile*> named;
    for (const ChunkIndexFile& file : index.Files)
        named[PathKey(file.Name)] = &file;
    std::vector<ChunkedFile> chosen;
    for (const ManifestEntry& entry : stale)
    {
        const auto found = named.find(PathKey(entry.Name));
        OldChunks old;
        if (HasOldCopy(context, job, entry) && found != named.end() &&
            found->second->Size == entry.OrigSize &&
            CutOldCopy(context.Files, EntryPath(job, entry), index.Sizes, old))
        {
            ChunkFilePlan plan = PlanChunkedFile(index, *found->second, old);
            if (plan.FetchedBytes < entry.DataSize)
            {
                chosen.push_back({&entry, std::move(plan)});
                continue;
            }
        }
        byRanges.push_back(entry);
    }
    return chosen;
}

void LogChoice(const std::vector<ChunkedFile>& chosen, size_t staleCount)
{
    uint64_t reused = 0, fetched = 0, ranges = 0;
    for (const ChunkedFile& file : chosen)
    {
        reused += file.Plan.ReusedBytes;
        fetched += file.Plan.FetchedBytes;
        ranges += file.Entry->DataSize;
    }
    LogLine("Chunked way for %d of %d stale files: %llu bytes from their old copies, %llu from the chunk "
            "packs instead of %llu by ranges",
            static_cast<int>(chosen.size()), static_cast<int>(staleCount),
            static_cast<unsigned long long>(reused), static_cast<unsigned long long>(fetched),
            static_cast<unsigned long long>(ranges));
}
} // namespace

namespace PackageWorkerInternal
{
uint64_t ChunkedWay::Bytes() const
{
    uint64_t bytes = 0;
    for (const ChunkedFile& file : Files)
        bytes += file.Plan.FetchedBytes;
    for (const ManifestEntry& entry : ByRanges)
        bytes += entry.DataSize;
    return bytes;
}

ChunkedWay PlanChunkedWay(const UpdateContext& context, const PackageJob& job,
                          const std::vector<ManifestEntry>& stale)
{
    ChunkedWay way;
    uint64_t worth = 0;
    for (const ManifestEntry& entry : stale)
        worth += HasOldCopy(context, job, entry) ? entry.DataSize : 0;
    if (worth > 0 && FetchChunkIndex(job, worth, way.Index))
        way.Files = ChooseChunked(context, job, way.Index, stale, way.ByRanges);
    if (way.Files.empty())
        way.ByRanges = stale;
    return way;
}

std::vector<ManifestEntry> ChunkedPackageDownload(UpdateContext& context, const PackageJob& job,
                                                  const ChunkedWay& way, bool& used)
{
    used = false;
    if (way.Files.empty())
        return way.ByRanges;
    LogChoice(way.Files, way.Files.size() + way.ByRanges.size());
    uint64_t needed = 0;
    for (const ChunkedFile& file : way.Files)
        needed += file.Plan.MissingBytes;
    for (const ManifestEntry& entry : way.ByRanges)
        needed += entry.DataSize;
    context.Progress.PackageBytesNeeded = needed;

    std::vector<ManifestEntry> byRanges = way.ByRanges;
    ChunkPacks packs(context, job.BaseUrl, way.Index);
    for (const ChunkedFile& file : way.Files)
    {
        if (ChunkedFileWriter(context, job, *file.Entry, way.Index, file.Plan, packs).Write())
        {
            used = true;
            continue;
        }
        LogErrorLine("%s could not be made from chunks; it goes by its range",
                     xString(file.Entry->Name).c_str());
        byRanges.push_back(*file.Entry);
        context.Progress.PackageBytesNeeded += file.Entry->DataSize;
    }
    context.Progress.DownloadEndTime = Now();
    return byRanges;
}
} // namespace PackageWorkerInternal
