#include "ChunkedFileWriter.h"
#include "Lzma86.h"
#include "PackageCheck.h"
#include "PackageWorkerInternal.h"

#include "xLogLine.h"

#include <algorithm>

using namespace PackageWorkerInternal;

namespace
{
// The unpacked size an Lzma86 container announces (after its filter byte and
// LZMA properties); a chunk that announces another than its length is not
// unpacked at all.
uint64_t AnnouncedSize(const uint8_t* container)
{
    uint64_t size = 0;
    for (int i = 7; i >= 0; --i)
        size = size << 8 | container[6 + i];
    return size;
}

std::vector<ByteRange> StoredRanges(const ChunkIndex& index, const std::vector<uint32_t>& chunks)
{
    std::vector<ByteRange> ranges;
    for (uint32_t chunk : chunks)
        ranges.push_back({index.Chunks[chunk].Offset, index.Chunks[chunk].StoredSize});
    return JoinRanges(ranges);
}
} // namespace

ChunkedFileWriter::ChunkedFileWriter(UpdateContext& context, const PackageJob& job,
                                     const ManifestEntry& entry, const ChunkIndex& index,
                                     const ChunkFilePlan& plan, ChunkPacks& packs)
    : Context(context), Job(job), Entry(entry), Index(index), Plan(plan), Packs(packs)
{
    for (const ChunkPiece& piece : plan.Pieces)
        if (!piece.Reused)
            Places[piece.Chunk].push_back(piece.At);
}

ChunkedFileWriter::~ChunkedFileWriter() = default;

bool ChunkedFileWriter::Write()
{
    const xWString temporary = EntryPath(Job, Entry) + u".td";
    File = Context.Files.OpenWrite(temporary, false, false);
    if (!File)
    {
        LogErrorLine("Cannot create %s", xString(temporary).c_str());
        return false;
    }
    // Flushed before its close where no volume can be (as ClientFileWriter does).
    const bool filled = CopyReused() && FetchMissing() && (xFileSystem::CanFlushVolumes() || File->Flush());
    const bool closed = File->Close();
    File.reset();
    if (filled && closed && PutInPlace())
        return true;
    if (WriteFailed || (filled && !closed))
        LogErrorLine("Writing %s failed; the file stays as it was", xString(Entry.Name).c_str());
    Context.Files.DeleteFile(temporary);
    return false;
}

bool ChunkedFileWriter::CopyReused()
{
    const std::unique_ptr<xFile> old = Context.Files.OpenReadPlain(EntryPath(Job, Entry), false);
    if (!old)
    {
        LogErrorLine("The old copy of %s cannot be read", xString(Entry.Name).c_str());
        return false;
    }
    std::vector<uint8_t> bytes;
    for (const ChunkPiece& piece : Plan.Pieces)
    {
        if (!piece.Reused)
            continue;
        bytes.resize(piece.Length);
        if (!old->Seek(static_cast<int64_t>(piece.OldOffset)) || !old->Read(bytes.data(), piece.Length))
        {
            LogErrorLine("The old copy of %s cannot be read", xString(Entry.Name).c_str());
            return false;
        }
        if (!WriteAt(piece.At, bytes.data(), bytes.size()))
            return false;
    }
    return true;
}

bool ChunkedFileWriter::FetchMissing()
{
    for (const PackRequests& request : Plan.Requests)
    {
        RangeFetcher* fetcher = Packs.Fetcher(request.Pack);
        if (fetcher == nullptr)
            return false;
        for (const PlannedSpan& span : request.Spans)
            if (!FetchSpan(*fetcher, Packs.Name(request.Pack), span))
                return false;
    }
    return true;
}

// As the partial way's spans: a try that brings at least one chunk starts the
// count afresh; tries that bring nothing end after RangeAttempts.
bool ChunkedFileWriter::FetchSpan(RangeFetcher& fetcher, const xString& pack, const PlannedSpan& span)
{
    const PackageRetryPolicy& policy = Context.RetryPolicy;
    std::vector<uint32_t> left(span.Members.begin(), span.Members.end());
    std::vector<uint8_t> buffer;
    for (int attempt = 1;;)
    {
        const std::vector<ByteRange> wanted = StoredRanges(Index, left);
        const uint64_t first = wanted.front().Start;
        const uint64_t length = wanted.back().End() - first;
        const uint64_t reached = first + fetcher.Fetch(first, length, buffer, wanted);
        std::vector<uint32_t> again, kept;
        for (uint32_t chunk : left)
        {
            const ChunkRecord& record = Index.Chunks[chunk];
            const bool arrived = record.Offset + record.StoredSize <= reached;
            if (arrived && PutChunk(chunk, buffer.data() + (record.Offset - first)))
                kept.push_back(chunk);
            else if (WriteFailed)
                return false;
            else
                again.push_back(chunk);
        }
        if (again.empty())
            return true;
        // Chunks that did not come whole or right are no progress.
        Context.Progress.PackageBytesReceived.fetch_sub(
            BytesCovered(wanted, first, reached) - BytesCovered(StoredRanges(Index, kept), first, reached));
        LogErrorLine("%d chunks of %s from %s came back short or altered (try %d of %d)",
                     static_cast<int>(again.size()), xString(Entry.Name).c_str(), pack.c_str(), attempt,
                     policy.RangeAttempts);
        left = again;
        if (!kept.empty())
            attempt = 1;
        else if (attempt >= policy.RangeAttempts)
            return false;
        else
            PauseAfter(policy, attempt++);
    }
}

bool ChunkedFileWriter::PutChunk(uint32_t chunk, const uint8_t* stored)
{
    const ChunkRecord& record = Index.Chunks[chunk];
    const uint8_t* bytes = stored;
    if (record.Form == ChunkForm::Lzma86)
    {
        if (record.StoredSize < Lzma86HeaderSize || AnnouncedSize(stored) != record.Length ||
            !DecodeLzma86(stored, record.StoredSize, Unpacked) || Unpacked.size() != record.Length)
            return false;
        bytes = Unpacked.data();
    }
    const std::optional<Sha256Digest> digest = Sha256::Of(bytes, record.Length);
    if (!digest || *digest != record.Sha256)
        return false;
    for (uint64_t at : Places[chunk])
        if (!WriteAt(at, bytes, record.Length))
            return false;
    return true;
}

bool ChunkedFileWriter::WriteAt(uint64_t at, const uint8_t* data, size_t length)
{
    WriteFailed = !File->Seek(static_cast<int64_t>(at)) || !File->Write(data, static_cast<int64_t>(length));
    return !WriteFailed;
}

// The whole file checked as the other ways check it before the move.
bool ChunkedFileWriter::PutInPlace()
{
    const xWString path = EntryPath(Job, Entry);
    if (!VerifyFile(Context.Files, path + u".td", ExpectedOf(Entry)))
    {
        LogErrorLine("%s made from chunks does not match its checksum", xString(Entry.Name).c_str());
        return false;
    }
    if (Context.Files.MoveReplacing(path, path + u".td"))
        return true;
    LogErrorLine("Cannot put %s in place (in use?); the file stays as it was", xString(Entry.Name).c_str());
    return false;
}
