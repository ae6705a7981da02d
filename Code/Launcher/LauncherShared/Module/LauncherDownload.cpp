#include "LauncherDownload.h"
#include "LauncherDownloadInternal.h"
#include "PaceCheck.h"

#include "xEngineFileSystem.h"
#include "xLogLine.h"
#include "xPath.h"
#include "xStringOps.h"
#include "xTextConversion.h"

#include <algorithm>
#include <memory>
#include <mutex>
#include <string>

using namespace LauncherDownloadInternal;

void DownloadWatch::Begin(const xWString& temporaryPath)
{
    std::unique_lock<std::shared_mutex> alone(Lock);
    TemporaryPath = temporaryPath;
}

void DownloadWatch::End()
{
    Ending = true;
    std::unique_lock<std::shared_mutex> alone(Lock);
    Ended = true;
}

TransferResult TransferFile(const UpdateContext& context, const xString& url, const TransferOptions& options)
{
    Transfer transfer = TransferToTemporary(context, url, options);
    TransferResult& result = transfer.Result;
    const xWString folder = context.GetDownloadFolder();
    const xWString temporary =
        transfer.TemporaryName.IsEmpty() ? xWString() : folder + Utf8ToWide(transfer.TemporaryName);
    if (!options.Rename)
    {
        if (result.Outcome == TransferOutcome::Whole)
            result.Temporary = temporary;
        else if (!temporary.IsEmpty())
            context.Files.DeleteFileEx(temporary, false, false);
        return result;
    }
    if (result.Outcome != TransferOutcome::Whole)
        return result;
    // Only now, after every byte has arrived.
    if (!MoveFetchedFile(context, temporary, folder + Utf8ToWide(transfer.Name)))
    {
        // The whole bytes stay in the temporary file, and its record lets the
        // next transfer of the name only try the rename again.
        if (transfer.Notes)
            transfer.Notes->Write(result.Counted);
        result.Outcome = TransferOutcome::NotRenamed;
        return result;
    }
    if (transfer.Notes)
        context.Files.DeleteFile(ResumeRecordPath(context, transfer.Name));
    return result;
}

void DownloadFile(const UpdateContext& context, const xString& url, std::atomic<uint64_t>* received,
                  std::atomic<uint64_t>* size)
{
    TransferOptions options;
    options.Received = received;
    options.Size = size;
    TransferFile(context, url, options);
}

bool MoveFetchedFile(const UpdateContext& context, const xWString& temporary, const xWString& destination,
                     const xFileHandle* held)
{
    const xEngineFileSystem& files = context.Files;
    const xString name(GetFileName(destination));
    LogLine("renaming %s to %s", xString(GetFileName(temporary)).c_str(), name.c_str());
    // MoveReplacing removes an earlier file of the name itself.
    const bool moved = held != nullptr ? files.MoveHeldFile(*held, destination, temporary)
                                       : files.MoveReplacing(destination, temporary);
    if (!moved)
    {
        // An older file may still stand under the name: it is no download of this one.
        LogErrorLine("file : %s could not replace the file under its name (in use or read-only?)",
                     name.c_str());
        return false;
    }
    if (files.IsFile(destination))
        LogLine("file : %s finish.\n", name.c_str());
    else
        LogLine("file : %s don't exist", name.c_str());
    return true;
}

namespace
{
// A GET that bypasses every cache both ways: version files and their
// signatures change under the same name. Null when no 2xx answer came.
std::unique_ptr<xHttpRequest> OpenFreshGet(const xString& url, Target& target)
{
    if (!OpenTarget(url, target))
        return nullptr;
    std::unique_ptr<xHttpRequest> request =
        target.Connection->OpenRequest("GET", target.Parts.Path.c_str(), "HTTP/1.1", nullptr,
                                       xHttpFlagReload | xHttpFlagNoCacheWrite | xHttpFlagPragmaNoCache);
    if (!request)
        return nullptr;
    if (!request->Send(nullptr))
    {
        LogErrorLine("no answer from %s", url.c_str());
        return nullptr;
    }
    const int status = request->StatusCode();
    if (!IsSuccess(status))
    {
        LogErrorLine("http status %d, nothing taken from %s", status, url.c_str());
        return nullptr;
    }
    if (!AcceptEncoding(*request, url))
        return nullptr;
    return request;
}

enum class PacedRead
{
    Ended,
    Full,
    Failed,
    TooSlow,
};

// Reads what has arrived into buffer[filled .. capacity), read after read, so
// that a server that trickles meets the pace check between them.
PacedRead ReadPaced(xHttpRequest& request, PaceCheck& pace, uint8_t* buffer, size_t capacity, size_t& filled)
{
    while (filled < capacity)
    {
        const int64_t got = request.ReadSome(buffer + filled, capacity - filled);
        if (got < 0)
            return PacedRead::Failed;
        if (got == 0)
            return PacedRead::Ended;
        filled += static_cast<size_t>(got);
        if (!pace.Add(static_cast<uint64_t>(got)))
            return PacedRead::TooSlow;
    }
    return PacedRead::Full;
}
} // namespace

xString FirstTextLine(const uint8_t* bytes, size_t size)
{
    // As one read of DownloadChunkSize bytes with the last one set to zero.
    const size_t length = std::min(size, DownloadChunkSize - 1);
    xString line(std::string(reinterpret_cast<const char*>(bytes), length).c_str());
    const ptrdiff_t crlf = FindText(line, "\r\n");
    if (crlf >= 0)
        line.Truncate(static_cast<size_t>(crlf));
    const ptrdiff_t lf = FindText(line, "\n");
    if (lf >= 0)
        line.Truncate(static_cast<size_t>(lf));
    return line;
}

void FetchText(const xString& url, xString& text)
{
    LogLine("downloading %s", url.c_str());
    Target target;
    std::unique_ptr<xHttpRequest> request = OpenFreshGet(url, target);
    if (!request)
        return;
    uint8_t buffer[DownloadChunkSize] = {};
    size_t filled = 0;
    PaceCheck pace;
    const PacedRead read = ReadPaced(*request, pace, buffer, sizeof(buffer), filled);
    if (read == PacedRead::TooSlow)
    {
        LogBodyFailure(BodyEnd::TooSlow, url);
        return;
    }
    // As a single read would: bytes that came before a failure are the text.
    if (read == PacedRead::Failed && filled == 0)
    {
        LogErrorLine("read data failed");
        return;
    }
    text = FirstTextLine(buffer, filled);
}

bool FetchBytes(const xString& url, size_t limit, std::vector<uint8_t>& bytes)
{
    bytes.clear();
    LogLine("downloading %s", url.c_str());
    Target target;
    std::unique_ptr<xHttpRequest> request = OpenFreshGet(url, target);
    if (!request)
        return false;
    uint8_t buffer[DownloadChunkSize];
    PaceCheck pace;
    for (;;)
    {
        size_t filled = 0;
        const PacedRead read = ReadPaced(*request, pace, buffer, sizeof(buffer), filled);
        if (read == PacedRead::Failed || read == PacedRead::TooSlow)
        {
            if (read == PacedRead::TooSlow)
                LogBodyFailure(BodyEnd::TooSlow, url);
            else
                LogErrorLine("read data failed");
            bytes.clear();
            return false;
        }
        if (bytes.size() + filled > limit)
        {
            LogErrorLine("%s is larger than %llu bytes; nothing taken from it", url.c_str(),
                         static_cast<unsigned long long>(limit));
            bytes.clear();
            return false;
        }
        bytes.insert(bytes.end(), buffer, buffer + filled);
        if (read == PacedRead::Ended)
            return true;
    }
}

uint64_t DownloadRangeToMemory(UpdateContext& context, const xString& url, uint64_t start, uint64_t length,
                               std::vector<uint8_t>& buffer)
{
    // A single range is a run of one.
    RangeFetcher fetcher(context, url);
    return fetcher.Fetch(start, length, buffer, {ByteRange{start, length}});
}
