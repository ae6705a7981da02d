#include "LauncherDownload.h"
#include "PackageWorkerInternal.h"
#include "RangePlan.h"

#include "xLogLine.h"

#include <utility>

using namespace PackageWorkerInternal;

namespace
{
// The package bytes an entry's file is made from.
ByteRange DataRange(const ManifestEntry& entry)
{
    return {entry.StartPos, entry.DataSize};
}

// What one try of a span brought: the members to ask for again (in order),
// the data that counts as progress, and how many files stay stale.
struct SpanTry
{
    std::vector<const ManifestEntry*> Again;
    const ManifestEntry* FirstShort = nullptr;
    size_t ShortCount = 0;
    std::vector<ByteRange> Kept;
    int Stale = 0;
};

// Writes the members whose data arrived whole (up to `reached`). A file whose
// bytes do not match its checksums came altered on the way: it is asked again
// like one that came short, and never written.
SpanTry WriteSpanMembers(UpdateContext& context, const PackageJob& job,
                         const std::vector<const ManifestEntry*>& left, const std::vector<uint8_t>& buffer,
                         uint64_t first, uint64_t reached, int attempt, const PackageRetryPolicy& policy)
{
    SpanTry result;
    for (const ManifestEntry* entry : left)
    {
        if (DataRange(*entry).End() > reached)
        {
            result.Again.push_back(entry);
            result.FirstShort = result.FirstShort != nullptr ? result.FirstShort : entry;
            ++result.ShortCount;
            continue;
        }
        // Per file, as when each file had a request of its own: its data's size.
        LogLine("num bytes download: %d", static_cast<int>(entry->DataSize));
        const PutResult put = WriteEntryFile(context, job, *entry, buffer.data() + (entry->StartPos - first),
                                             static_cast<size_t>(BytesToRead(*entry)));
        if (WrongBytes(put))
        {
            LogErrorLine("Range of %s came altered: its bytes do not match its checksum (try %d of %d)",
                         xString(entry->Name).c_str(), attempt, policy.RangeAttempts);
            result.Again.push_back(entry);
            continue;
        }
        result.Kept.push_back(DataRange(*entry));
        result.Stale += LeftStale(context, job, *entry, put == PutResult::InPlace) ? 1 : 0;
    }
    return result;
}

// Fetches one planned span (members by start) and writes its files. A short
// answer still gives the files that arrived whole; the rest, and those whose
// bytes came altered, are asked for again. A try that brings at least one file
// starts the count of tries afresh, so a link that keeps dropping still moves
// on, while tries that bring nothing end after RangeAttempts. Returns how many
// members stay stale.
int FetchSpan(UpdateContext& context, const PackageJob& job, RangeFetcher& fetcher,
              std::vector<const ManifestEntry*> left, const PackageRetryPolicy& policy)
{
    std::vector<uint8_t> buffer;
    int staleFiles = 0;
    for (int attempt = 1;;)
    {
        std::vector<ByteRange> ranges;
        for (const ManifestEntry* entry : left)
            ranges.push_back(DataRange(*entry));
        const std::vector<ByteRange> wanted = JoinRanges(ranges);
        const uint64_t first = wanted.front().Start;
        const uint64_t length = wanted.back().End() - first;
        buffer.clear();
        const uint64_t arrived = fetcher.Fetch(first, length, buffer, wanted);
        const uint64_t reached = first + arrived;

        const SpanTry brought = WriteSpanMembers(context, job, left, buffer, first, reached, attempt, policy);
        staleFiles += brought.Stale;
        if (brought.Again.empty())
            return staleFiles;
        // The part of a file that did not come whole or right is thrown away,
        // so its bytes are no progress.
        context.Progress.PackageBytesReceived.fetch_sub(
            BytesCovered(wanted, first, reached) - BytesCovered(JoinRanges(brought.Kept), first, reached));
        if (brought.FirstShort != nullptr && left.size() == 1)
            LogErrorLine("Range of %s came back short: %llu of %u bytes (try %d of %d)",
                         xString(brought.FirstShort->Name).c_str(), static_cast<unsigned long long>(arrived),
                         left.front()->DataSize, attempt, policy.RangeAttempts);
        else if (brought.FirstShort != nullptr)
            LogErrorLine("Range of %s and %d more files came back short: %llu of %llu bytes (try %d of %d)",
                         xString(brought.FirstShort->Name).c_str(), static_cast<int>(brought.ShortCount - 1),
                         static_cast<unsigned long long>(arrived), static_cast<unsigned long long>(length),
                         attempt, policy.RangeAttempts);
        left = brought.Again;
        if (!brought.Kept.empty())
            attempt = 1;
        else if (attempt >= policy.RangeAttempts)
            break;
        else
            PauseAfter(policy, attempt++);
    }
    for (const ManifestEntry* entry : left)
    {
        LogErrorLine("%s could not be fetched; the file stays as it was", xString(entry->Name).c_str());
        staleFiles += LeftStale(context, job, *entry, false) ? 1 : 0;
    }
    return staleFiles;
}
} // namespace

bool PartialPackageDownload(UpdateContext& context, const PackageJob& job,
                            const std::vector<ManifestEntry>& entries)
{
    const PackageRetryPolicy& policy = context.RetryPolicy;
    RangeFetcher fetcher(context, job.BaseUrl + job.PackageName);
    // One HEAD for the whole run; when it fails, each try asks again.
    const int64_t packageSize = fetcher.RemoteSize();
    int staleFiles = 0;
    std::vector<const ManifestEntry*> wanted;
    for (const ManifestEntry& entry : entries)
    {
        bool written = false;
        if (!FitsInData(entry, entry.StartPos, entry.DataSize))
            LogErrorLine("Manifest entry %s is larger than its package data; skipped",
                         xString(entry.Name).c_str());
        // Past the end no server has the bytes; merged with good neighbours
        // it would cost them their request.
        else if (packageSize >= 0 && DataRange(entry).End() > static_cast<uint64_t>(packageSize))
        {
            LogErrorLine("Range of %s lies past the package's end", xString(entry.Name).c_str());
            LogErrorLine("%s could not be fetched; the file stays as it was", xString(entry.Name).c_str());
        }
        // An empty file needs no request; no later try brings other bytes.
        else if (entry.DataSize == 0)
        {
            const PutResult put = WriteEntryFile(context, job, entry, nullptr, 0);
            LogWrongBytes(entry, put);
            written = put == PutResult::InPlace;
        }
        else
        {
            wanted.push_back(&entry);
            continue;
        }
        staleFiles += LeftStale(context, job, entry, written) ? 1 : 0;
    }

    std::vector<ByteRange> ranges;
    for (const ManifestEntry* entry : wanted)
        ranges.push_back(DataRange(*entry));
    for (const PlannedSpan& span : PlanRanges(ranges))
    {
        std::vector<const ManifestEntry*> members;
        for (size_t member : span.Members)
            members.push_back(wanted[member]);
        staleFiles += FetchSpan(context, job, fetcher, std::move(members), policy);
    }
    context.Progress.DownloadEndTime = Now();
    return ReportStale(staleFiles);
}
