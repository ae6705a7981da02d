#pragma once

#include "LauncherDownload.h"
#include "ResumeNotes.h"
#include "UrlParts.h"

#include "xEngineFileSystem.h"
#include "xHttp.h"
#include "xString.h"

#include <atomic>
#include <cstdint>
#include <memory>

// What the pieces of the downloader share: the header parsers
// (HttpHeaderParse.cpp), the request and body steps (HttpTransfer.cpp), the
// resume record (ResumeRecord.cpp, ResumeNotes.cpp), the transfer into the
// temporary file (TemporaryTransfer.cpp), the whole-file operations
// (LauncherDownload.cpp) and the ranges (RangeFetcher.cpp).
namespace LauncherDownloadInternal
{
class DownloadSink;

// Every request takes any type of answer.
inline const char* const AnyType[] = {"*/*", nullptr};

// Sizes and positions go into the log lines as 32-bit numbers, as they always have.
int Low32(uint64_t value);
xString SignedText(int64_t value);
bool IsSuccess(int status);

// The last component of a cracked URL's path, as the file is named on the server.
bool UrlFileName(const UrlParts& parts, xString& name);

// The crack, the session and the connection that every operation starts with.
struct Target
{
    UrlParts Parts;
    std::unique_ptr<xHttpConnection> Connection;
};
bool OpenTarget(const UrlParts& parts, Target& target);
bool OpenTarget(const xString& url, Target& target);

// Every answer is taken as the file's bytes, so an encoding nobody asked for
// (a server that gzips anyway) would pass for the file. Nothing is asked for.
bool AcceptEncoding(xHttpRequest& request, const xString& url);
uint32_t StallTimeMs();

enum class BodyEnd
{
    // A read gave 0 bytes: the body ended, or the range was full and a read of 0 was asked.
    Ended,
    ReadFailed,
    SinkFailed,
    // Fewer than MinBytesPerStallTime bytes over a stall time.
    TooSlow,
};

// Discards `skip` bytes, then hands at most `length` bytes to the sink in pieces
// of at most DownloadPieceSize, adding each piece to `counted` and to `counter`
// (when given). Never reads past `length`, so a body longer than announced cannot
// write past the space set aside for it. Each read takes what has arrived, so on
// a slow link progress moves with every few bytes, not with every full piece.
BodyEnd TransferBody(xHttpRequest& request, uint64_t skip, uint64_t length, DownloadSink& sink,
                     uint64_t& counted, std::atomic<uint64_t>* counter);
// A body that ended early: a failed read says so here, a failed sink has said
// so itself.
void LogBodyFailure(BodyEnd end, const xString& url);
// Whether the answer to a ranged GET carries bytes first .. first + length - 1
// of the file of `whole` bytes that the HEAD described, and how many leading
// bytes of its body to skip to reach them. An error page is no file, and a
// server that ignores the range must not have the file's first bytes taken for
// the range's.
bool AcceptRangedAnswer(xHttpRequest& request, uint64_t first, uint64_t length, uint64_t whole,
                        const xString& url, uint64_t& skip);

bool ReadResumeRecord(const xEngineFileSystem& files, const xWString& path, ResumeRecord& record);

// Where a transfer left its bytes: Whole once every byte the HEAD announced
// is in the temporary file (which the caller then moves or checks).
struct Transfer
{
    TransferResult Result;
    xString Name;
    // Once the temporary file has its size.
    xString TemporaryName;
    std::unique_ptr<ResumeNotes> Notes;
};

// DownloadFile up to its rename: the bytes into "<name>.td" (or a numbered name).
Transfer TransferToTemporary(const UpdateContext& context, const xString& url,
                             const TransferOptions& options);
} // namespace LauncherDownloadInternal
