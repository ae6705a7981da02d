#pragma once

#include "HttpHeaderParse.h"
#include "RangeFetcher.h"
#include "RangePlan.h"
#include "ResumeRecord.h"
#include "UpdateContext.h"

#include "xFileHandle.h"
#include "xHttp.h"
#include "xString.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <vector>

// Every HTTP transfer of the update: blocking operations over the transport, one
// connection and one request at a time, bodies read in large pieces. DownloadFile's
// callers judge success by what they get (the file, the text, the buffer); the
// transfer underneath it (TransferFile) also says how it ended, for callers that
// act on why. Failures leave log lines. Safe to run on several threads at once.
// The header texts (HttpHeaderParse.h), the resume record (ResumeRecord.h) and
// the range fetcher (RangeFetcher.h) have headers of their own, included here.

// Bytes asked of the transport by FetchText's single read.
constexpr size_t DownloadChunkSize = 2048;
// The most bytes taken per read of a file or range body. Every read call costs a
// round trip through WinINet under Wine and a seek and a write on disk, so small
// pieces, not the wire, would set the speed. Each read takes what has arrived
// (ReadSome) rather than waiting for a full piece, and progress moves by each
// read's real count.
constexpr size_t DownloadPieceSize = 256 * 1024;
// A server may keep each stall timer from running out by sending a byte now
// and then without ever finishing: fewer bytes than this over a whole stall
// time (the session's, 30 s in the product: about 34 bytes a second) fails the
// transfer as a stall does.
constexpr uint64_t MinBytesPerStallTime = 1024;
// After the temporary name itself, this many numbered variants are tried.
constexpr int MaxNumberedTemporaryNames = 100;

// After this many more bytes on disk an unfinished download's resume record is
// written again: a killed launcher fetches at most this much twice.
constexpr uint64_t ResumeRecordInterval = 1024 * 1024;

// Content-Length of a HEAD (HTTP/1.0) for `path`; -1 when the connection or the
// path is missing, no response came, the status is not a success, or the answer
// has no usable Content-Length (these two with an error line). `version`, when
// given, gets the answer's ETag, else its Last-Modified, else "".
int64_t QueryRemoteSize(xHttpConnection* connection, const char* path, xString* version = nullptr);

// Lets other threads read a file while TransferFile is still fetching it. Bytes
// 0 .. OnDisk - 1 of TemporaryPath are written (they arrive in order from the
// first byte). A reader holds Lock shared for as long as it has the file open
// and reads nothing once Ended is set: the transfer takes Lock alone to set the
// path before the first byte and to end the watch before it closes and renames
// the file, which Windows refuses while someone has it open. Ending is set
// before that, so a reader that keeps the file open from one read to the next
// lets go.
struct DownloadWatch
{
    std::atomic<uint64_t> OnDisk{0};
    std::atomic<bool> Ending{false};
    std::atomic<bool> Ended{false};
    std::shared_mutex Lock;
    xWString TemporaryPath; // under Lock

    void Begin(const xWString& temporaryPath);
    void End();
};

// How a transfer of a whole file ended, as its callers act on it.
enum class TransferOutcome
{
    // Every announced byte is on disk: under the file's name, or (without
    // Rename) in the temporary file the result names.
    Whole,
    // The URL cannot be cracked or names no plain file: nothing was asked.
    BadUrl,
    // No connection, or the HEAD brought no usable size: nothing was written.
    Unanswered,
    // The HEAD announced more than MaxSize: no space was set aside.
    TooLarge,
    // No temporary file could be made, or given its size.
    NoTemporary,
    // Fewer bytes arrived than announced; a resumable transfer keeps them.
    Cut,
    // Whole, but an older file under the name could not be replaced.
    NotRenamed,
};

struct TransferOptions
{
    // Optional progress values read by another thread: the bytes received
    // (counting from 0; resumed bytes count as received from the start) and the
    // size the HEAD announced.
    std::atomic<uint64_t>* Received = nullptr;
    std::atomic<uint64_t>* Size = nullptr;
    // Ended whatever the outcome.
    DownloadWatch* Watch = nullptr;
    // Continue an unfinished "<name>.td" (see TransferFile).
    bool Resume = false;
    // A file the HEAD announces larger is refused before any space is set aside.
    uint64_t MaxSize = UINT64_MAX;
    // False, for a file that must be checked before it takes its name (the
    // manifest, the font, a launcher build): the whole bytes stay in their
    // temporary file for the caller to check and then move (MoveFetchedFile) or
    // delete; any other outcome leaves no temporary file behind, so no space
    // stays set aside for it. Used without Resume.
    bool Rename = true;
};

struct TransferResult
{
    TransferOutcome Outcome = TransferOutcome::BadUrl;
    // The bytes of the file on disk when the transfer ended.
    uint64_t Counted = 0;
    // What the HEAD announced; -1 when it said nothing usable.
    int64_t RemoteSize = -1;
    // Without Rename, of a Whole transfer: the temporary file holding the bytes.
    xWString Temporary;
};

// Fetches the file that `url` names into the context's download folder, under
// the last component of the URL's path. The bytes go to "<name>.td" (or
// "<name>_<n>.td" when that is held open elsewhere), preallocated to the size the
// HEAD announced, and are moved onto "<name>" only once all of them have arrived;
// any failure leaves an earlier "<name>" untouched.
//
// With Resume, an unfinished "<name>.td" from an earlier transfer (dropped, or
// the launcher killed) is continued with a Range request from the bytes its
// resume record ("<name>.resume", written before the body and again every
// ResumeRecordInterval bytes) says are on disk, when the HEAD still announces
// the size and version (ETag or Last-Modified) the record holds; else the
// transfer starts over. The caller checks the whole file: the bytes on disk are
// taken on trust.
TransferResult TransferFile(const UpdateContext& context, const xString& url, const TransferOptions& options);

// TransferFile with the progress values alone, judged by the file it leaves.
void DownloadFile(const UpdateContext& context, const xString& url, std::atomic<uint64_t>* received = nullptr,
                  std::atomic<uint64_t>* size = nullptr);

// Moves the whole bytes of a transfer (`temporary`) onto `destination`,
// replacing a file there, and logs it as every download's rename; false, with
// an error line, when an older file there could not be replaced. With `held`
// (the file held open by xFileSystem::OpenProgram) the rename goes through that
// handle (MoveHeldFile), so the name holds the very bytes checked through it.
bool MoveFetchedFile(const UpdateContext& context, const xWString& temporary, const xWString& destination,
                     const xFileHandle* held = nullptr);

// The first line of the remote text (at most 2047 bytes: the body's first
// 2048 bytes are read, however long it is); `text` keeps what the caller put
// there when the fetch fails.
void FetchText(const xString& url, xString& text);

// The whole remote file into `bytes`, bypassing caches as FetchText does; false
// (and `bytes` empty) when no 2xx answer came, the transfer failed, or the body
// is longer than `limit`.
bool FetchBytes(const xString& url, size_t limit, std::vector<uint8_t>& bytes);

// Bytes start .. start + length - 1 of the remote file into `buffer`, which is
// resized to `length` and zero-filled first (once the HEAD has answered);
// bytes that do not arrive stay zero. Every byte stored is added to
// the context's PackageBytesReceived. Returns how many bytes arrived, so a caller
// can tell a whole range from one that came back short.
uint64_t DownloadRangeToMemory(UpdateContext& context, const xString& url, uint64_t start, uint64_t length,
                               std::vector<uint8_t>& buffer);

// The first line of a text as FetchText takes it: at most its first 2047 bytes,
// up to the first zero byte, cut before the first "\r\n" or "\n".
xString FirstTextLine(const uint8_t* bytes, size_t size);
