#include "FileSink.h"
#include "LauncherDownloadInternal.h"

#include "xLogLine.h"
#include "xTextConversion.h"

#include <cstdio>
#include <memory>

namespace LauncherDownloadInternal
{
namespace
{
// The ranged transfer of DownloadFile: bytes first .. size - 1 into the file.
// A server that ignores the range sends the whole file; the bytes already on
// disk are read past, not written again.
void TransferToFile(Target& target, const xString& url, xFile& file, uint64_t first, uint64_t size,
                    uint64_t& counted, std::atomic<uint64_t>* counter, DownloadWatch* watch,
                    ResumeNotes* notes)
{
    const xString header = MakeRangeHeader(first, size - first);
    const xString endText = SignedText(static_cast<int64_t>(size - 1));
    std::unique_ptr<xHttpRequest> request = target.Connection->OpenRequest(
        "GET", target.Parts.Path.c_str(), "HTTP/1.1", AnyType, xHttpFlagKeepConnection);
    if (!request)
        return;
    if (!request->Send(header.c_str()))
    {
        LogErrorLine("no answer from %s", url.c_str());
        return;
    }
    uint64_t skip = 0;
    if (!AcceptRangedAnswer(*request, first, size - first, size, url, skip))
        return;
    FileSink sink(file, first, watch, notes);
    const BodyEnd end = TransferBody(*request, skip, size - first, sink, counted, counter);
    if (end == BodyEnd::Ended)
        LogLine("Finished BLock, start pos: %d, end pos: %s.", Low32(first), endText.c_str());
    LogBodyFailure(end, url);
    // A body that the server cut short ends as any body does (WinINet may
    // report a reset so too): only the count tells.
    if (end == BodyEnd::Ended && counted < size)
        LogErrorLine("the answer ended after %s of %s bytes: %s",
                     SignedText(static_cast<int64_t>(counted)).c_str(),
                     SignedText(static_cast<int64_t>(size)).c_str(), url.c_str());
}

Transfer Ended(Transfer& done, TransferOutcome outcome)
{
    done.Result.Outcome = outcome;
    return std::move(done);
}

// The last component of the URL's path, when it is a name we may store: it
// comes from the server's side of the world, so it must not lead out of the
// download folder or onto a device.
bool StorableFileName(const UrlParts& parts, xString& name)
{
    if (!UrlFileName(parts, name))
    {
        LogErrorLine("Get file name failed.");
        return false;
    }
    if (!IsPlainFileName(name))
    {
        LogErrorLine("Get file name failed: \"%s\" is no plain file name.", name.c_str());
        return false;
    }
    return true;
}

// The temporary file a transfer writes into, with its full size set aside.
struct Temporary
{
    std::unique_ptr<xFile> File;
    xString Name;
    // Bytes already on disk, from an earlier transfer the record describes.
    uint64_t ResumeAt = 0;
    // Whether a resume record may be kept for it.
    bool Resumable = false;
};

// Continues "<name>.td" where its record says, when the server still describes
// the file the record was made for (a file replaced by one of another size or
// version must not be spliced onto the old one's bytes); else starts afresh,
// under a numbered name when the plain one is held elsewhere. False, with an
// error line, when no temporary file could be made or given its size.
bool OpenTemporary(const UpdateContext& context, const xString& name, uint64_t fileSize,
                   const xString& version, bool resume, Temporary& temporary)
{
    const xEngineFileSystem& files = context.Files;
    const xWString folder = context.GetDownloadFolder();
    const xWString recordPath = ResumeRecordPath(context, name);
    temporary.Name = name + ".td";
    ResumeRecord record;
    if (resume && ReadResumeRecord(files, recordPath, record) && record.Done > 0 && record.Size == fileSize &&
        record.Version == version &&
        files.GetFileSize(folder + Utf8ToWide(temporary.Name)) == static_cast<int64_t>(fileSize))
    {
        temporary.File = files.OpenWrite(folder + Utf8ToWide(temporary.Name), true, true);
        if (temporary.File)
        {
            temporary.ResumeAt = record.Done;
            LogLine("resuming %s at byte %llu of %llu", name.c_str(),
                    static_cast<unsigned long long>(record.Done), static_cast<unsigned long long>(fileSize));
        }
    }
    // A record must never outlive the bytes it counts: it goes before they do.
    if (!temporary.File && files.IsFile(recordPath) && !files.DeleteFile(recordPath))
        resume = false;
    for (int counter = 0; !temporary.File && counter <= MaxNumberedTemporaryNames; ++counter)
    {
        temporary.File = files.OpenWrite(folder + Utf8ToWide(temporary.Name), false, true);
        if (temporary.File || counter == MaxNumberedTemporaryNames)
            break;
        char suffix[24];
        std::snprintf(suffix, sizeof(suffix), "_%d.td", counter);
        temporary.Name = name + suffix;
    }
    if (!temporary.File)
    {
        LogErrorLine("Create temporary file failed: %s", name.c_str());
        return false;
    }
    // Only the plain temporary name has a record: a numbered one is another
    // launcher's leftover the next run would not look for.
    temporary.Resumable = resume && temporary.Name == name + ".td";
    // Preallocation: the file takes its full size before the first byte. xFile
    // has no set-end-of-file, so the last byte is written; the bytes before it
    // read as zeros (a sparse hole on POSIX).
    if (temporary.ResumeAt != 0 || fileSize == 0)
        return true;
    const uint8_t zero = 0;
    if (temporary.File->Seek(static_cast<int64_t>(fileSize - 1)) && temporary.File->Write(&zero, 1))
        return true;
    LogErrorLine("Cannot set aside %llu bytes for %s", static_cast<unsigned long long>(fileSize),
                 temporary.Name.c_str());
    temporary.File->Close();
    files.DeleteFileEx(folder + Utf8ToWide(temporary.Name), false, false);
    return false;
}

// Connects and asks the HEAD for the file's size (into the result) and version.
// False, with the outcome that ends the transfer, when there is nothing to fetch.
bool AskRemoteFile(const xString& url, const UrlParts& parts, const TransferOptions& options, Target& target,
                   xString& version, TransferResult& result)
{
    result.Outcome = TransferOutcome::Unanswered;
    if (!OpenTarget(parts, target))
        return false;
    const int64_t remoteSize = QueryRemoteSize(target.Connection.get(), target.Parts.Path.c_str(), &version);
    if (remoteSize < 0)
        return false;
    result.RemoteSize = remoteSize;
    const uint64_t fileSize = static_cast<uint64_t>(remoteSize);
    LogLine("file size: %d", Low32(fileSize));
    if (fileSize > options.MaxSize)
    {
        LogErrorLine("the server announces %s bytes for %s, more than the %s it may have",
                     SignedText(remoteSize).c_str(), url.c_str(),
                     SignedText(static_cast<int64_t>(options.MaxSize)).c_str());
        result.Outcome = TransferOutcome::TooLarge;
        return false;
    }
    return true;
}

// The progress values, the resume record and the watch, set for a transfer
// into `temporary` of a file of `fileSize` bytes.
void PrepareTransfer(const UpdateContext& context, const TransferOptions& options, const xString& name,
                     const xString& version, uint64_t fileSize, const Temporary& temporary, Transfer& done)
{
    const uint64_t resumeAt = temporary.ResumeAt;
    if (options.Size != nullptr)
        options.Size->store(fileSize, std::memory_order_relaxed);
    if (options.Received != nullptr)
        options.Received->store(resumeAt, std::memory_order_relaxed);
    if (temporary.Resumable)
    {
        done.Notes = std::make_unique<ResumeNotes>(context.Files, ResumeRecordPath(context, name),
                                                   ResumeRecord{fileSize, version, resumeAt});
        if (resumeAt == 0)
            done.Notes->Write(0);
    }
    if (options.Watch != nullptr)
    {
        options.Watch->Begin(context.GetDownloadFolder() + Utf8ToWide(temporary.Name));
        options.Watch->OnDisk.store(resumeAt, std::memory_order_release);
    }
}
} // namespace

Transfer TransferToTemporary(const UpdateContext& context, const xString& url, const TransferOptions& options)
{
    DownloadWatch* const watch = options.Watch;
    Transfer done;
    // Every way out ends the watch, so no reader waits for bytes that will not come.
    const std::unique_ptr<DownloadWatch, void (*)(DownloadWatch*)> ending(watch,
                                                                          [](DownloadWatch* w) { w->End(); });
    LogLine("downloading %s", url.c_str());
    UrlParts parts;
    // The name is settled before any request: a URL that names no file we may
    // store costs no traffic.
    xString name;
    if (!CrackUrl(url, parts) || !StorableFileName(parts, name))
        return Ended(done, TransferOutcome::BadUrl);
    Target target;
    xString version;
    if (!AskRemoteFile(url, parts, options, target, version, done.Result))
        return done;
    const uint64_t fileSize = static_cast<uint64_t>(done.Result.RemoteSize);

    Temporary temporary;
    if (!OpenTemporary(context, name, fileSize, version, options.Resume, temporary))
        return Ended(done, TransferOutcome::NoTemporary);
    LogLine("file created: %s", temporary.Name.c_str());
    done.TemporaryName = temporary.Name;
    PrepareTransfer(context, options, name, version, fileSize, temporary, done);
    const uint64_t resumeAt = temporary.ResumeAt;
    uint64_t counted = resumeAt;
    // A resumed file may have every byte already (the launcher was killed before
    // the rename); an empty one still asks, as it always has.
    if (resumeAt == 0 || resumeAt < fileSize)
        TransferToFile(target, url, *temporary.File, resumeAt, fileSize, counted, options.Received, watch,
                       done.Notes.get());
    if (watch != nullptr)
        watch->End();
    temporary.File->Close();
    done.Result.Counted = counted;
    if (counted != fileSize)
    {
        if (done.Notes)
            done.Notes->Write(counted);
        return Ended(done, TransferOutcome::Cut);
    }
    done.Name = name;
    return Ended(done, TransferOutcome::Whole);
}
} // namespace LauncherDownloadInternal
