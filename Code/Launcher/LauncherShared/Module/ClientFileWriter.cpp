#include "CheckedWriter.h"
#include "DecoderBuffers.h"
#include "Lzma86.h"
#include "PackageWorkerInternal.h"

#include "xLogLine.h"
#include "xPath.h"

#include <algorithm>
#include <functional>
#include <new>

namespace PackageWorkerInternal
{
namespace
{
// Stored files are copied from the package in pieces of this size.
constexpr size_t CopyPieceSize = 1 << 20;

// Logged when writing a file failed: a volume with less room than the file
// needs is why (asked before the temporary file gives its bytes back).
void LogWriteFailure(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry)
{
    const xString name(entry.Name);
    xVolumeSpace space;
    if (context.Files.GetVolumeSpace(GetParentPath(EntryPath(job, entry)), space) &&
        space.Free < entry.OrigSize)
    {
        LogErrorLine("Writing %s failed: the disk is full (%llu bytes free); the file stays as it was",
                     name.c_str(), static_cast<unsigned long long>(space.Free));
        context.Progress.PackageFailureReason = PackageFailureDiskFull;
    }
    else
        LogErrorLine("Writing %s failed; the file stays as it was", name.c_str());
}

// Writes one client file through a temporary name that is moved onto the real
// one only when every byte is on disk and matches the entry's checksums; `fill`
// writes the bytes. Anything else leaves the earlier file as it was. Write
// failures get an error line unless `quiet` (a later try will say it); wrong
// bytes are the caller's to tell.
PutResult PutFileInPlace(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                         const std::function<bool(CheckedWriter&)>& fill, bool quiet = false)
{
    const xEngineFileSystem& files = context.Files;
    const xWString path = EntryPath(job, entry);
    const xWString temporary = path + u".td";
    // Made without asking first: under Wine every question about a name not yet
    // there reads the whole folder. Only when that fails is a temporary file
    // left by a killed run removed, or the folder made (most files go into one
    // that is there already, and each level made or asked for costs a system
    // call, under Wine a round trip to its server).
    std::unique_ptr<xFileHandle> file = files.OpenNew(temporary);
    if (!file && (files.DeleteFile(temporary) || files.CreateDirectory(GetParentPath(path), true)))
        file = files.OpenNew(temporary);
    if (!file)
    {
        if (!quiet)
            LogErrorLine("Cannot create %s", xString(temporary).c_str());
        return PutResult::Failed;
    }
    CheckedWriter writer(*file, entry);
    // Where no volume can be flushed at once (Windows), each file is before
    // it takes its name, so the verified state never vouches for bytes still
    // in a cache.
    if (!fill(writer) || !(xFileSystem::CanFlushVolumes() || file->Flush()))
    {
        file.reset();
        if (!quiet)
            LogWriteFailure(context, job, entry);
        files.DeleteFile(temporary);
        return PutResult::Failed;
    }
    if (!writer.Matches())
    {
        file.reset();
        files.DeleteFile(temporary);
        return PutResult::Mismatch;
    }
    // The handle that wrote and checked the bytes gives them their name (under
    // Wine one call, where a move by path opens the file again); a name that
    // cannot be replaced so (read-only, in use) gets the path's retries.
    const bool moved = files.MoveHeldFile(*file, path, temporary);
    file.reset();
    if (!moved && !files.MoveReplacing(path, temporary))
    {
        if (!quiet)
            LogErrorLine("Cannot put %s in place (in use?); the file stays as it was",
                         xString(entry.Name).c_str());
        files.DeleteFile(temporary);
        return PutResult::Failed;
    }
    return PutResult::InPlace;
}
} // namespace

bool WrongBytes(PutResult result)
{
    return result == PutResult::Undecodable || result == PutResult::Mismatch;
}

void LogWrongBytes(const ManifestEntry& entry, PutResult result)
{
    const xString name(entry.Name);
    if (result == PutResult::Undecodable)
        LogErrorLine("Unpacking %s failed; the file stays as it was", name.c_str());
    else if (result == PutResult::Mismatch)
        LogErrorLine("%s does not match its checksum; the file stays as it was", name.c_str());
}

PutResult WriteEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                         const uint8_t* data, size_t length, std::vector<uint8_t>& unpacked, bool quiet)
{
    if (entry.Compressed != 0)
    {
        if (!DecodeLzma86(data, length, unpacked))
            return PutResult::Undecodable;
        data = unpacked.data();
        length = unpacked.size();
    }
    return PutFileInPlace(
        context, job, entry, [&](CheckedWriter& file) { return file.Write(data, length); }, quiet);
}

PutResult WriteEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                         const uint8_t* data, size_t length)
{
    std::vector<uint8_t> unpacked;
    return WriteEntryFile(context, job, entry, data, length, unpacked);
}

PutResult CopyEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                        xFile& package, bool quiet)
{
    return PutFileInPlace(
        context, job, entry,
        [&](CheckedWriter& file)
        {
            if (!package.Seek(entry.StartPos))
                return false;
            std::vector<uint8_t> piece(std::min<size_t>(entry.OrigSize, CopyPieceSize));
            for (uint64_t left = entry.OrigSize; left > 0;)
            {
                const size_t count = static_cast<size_t>(std::min<uint64_t>(left, piece.size()));
                if (!package.Read(piece.data(), static_cast<int64_t>(count)) ||
                    !file.Write(piece.data(), count))
                    return false;
                left -= count;
            }
            return true;
        },
        quiet);
}

PutResult UnpackEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                          xFile& package, DecoderBuffers& buffers, bool quiet)
{
    buffers.Clear();
    std::vector<uint8_t>& data = buffers.Packed;
    try
    {
        data.resize(entry.DataSize);
    }
    catch (const std::bad_alloc&)
    {
        // Several decoders may hold large members at once: this one waits for the next update.
        if (!quiet)
            LogErrorLine("No memory for the packed data of %s; skipped", xString(entry.Name).c_str());
        return PutResult::Failed;
    }
    if (!package.Seek(entry.StartPos) ||
        (!data.empty() && !package.Read(data.data(), static_cast<int64_t>(data.size()))))
    {
        if (!quiet)
            LogErrorLine("Reading %s from the package failed; skipped", xString(entry.Name).c_str());
        return PutResult::Failed;
    }
    return WriteEntryFile(context, job, entry, data.data(), data.size(), buffers.Unpacked, quiet);
}

uint64_t BytesToRead(const ManifestEntry& entry)
{
    return entry.Compressed != 0 ? entry.DataSize : entry.OrigSize;
}

bool FitsInData(const ManifestEntry& entry, uint64_t dataStart, uint64_t dataLength)
{
    const uint64_t start = entry.StartPos;
    const uint64_t end = start + std::max<uint64_t>(entry.DataSize, BytesToRead(entry));
    return start >= dataStart && end <= dataStart + dataLength;
}
} // namespace PackageWorkerInternal
