#include "LauncherDownload.h"

#include "InternetSessions.h"
#include "RangePlan.h"
#include "UrlParts.h"

#include "xEngineFileSystem.h"
#include "xLogLine.h"
#include "xPath.h"
#include "xStringOps.h"
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include <algorithm>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>
#include <string>

namespace
{
const char* const AnyType[] = {"*/*", nullptr};

// Sizes and positions go into the log lines as 32-bit numbers, as they always have.
int Low32(uint64_t value)
{
    return static_cast<int>(static_cast<uint32_t>(value));
}

xString SignedText(int64_t value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%" PRId64, value);
    return xString(text);
}

bool IsSuccess(int status)
{
    return status >= 200 && status < 300;
}

// The crack, the session and the connection that every operation starts with.
struct Target
{
    UrlParts Parts;
    std::unique_ptr<xHttpConnection> Connection;
};

bool OpenTarget(const UrlParts& parts, Target& target)
{
    target.Parts = parts;
    xHttpSession* session = DownloadSession();
    if (session == nullptr)
    {
        LogErrorLine("Create internet session failed.");
        return false;
    }
    target.Connection = session->Connect(target.Parts.Host.c_str(), target.Parts.Port);
    return target.Connection != nullptr;
}

bool OpenTarget(const xString& url, Target& target)
{
    UrlParts parts;
    return CrackUrl(url, parts) && OpenTarget(parts, target);
}

// The last component of a cracked URL's path, as the file is named on the server.
bool UrlFileName(const UrlParts& parts, xString& name)
{
    size_t slash = parts.Path.Length();
    while (slash > 0 && parts.Path[slash - 1] != '/')
        --slash;
    // The file keeps the name it has on the server, not its escaped form.
    name = DecodePercentEscapes(SubText(parts.Path, slash));
    return !name.IsEmpty();
}

// The http://host:port origin of a connection, for log lines about it.
xString Origin(const xHttpConnection& connection)
{
    char port[8];
    std::snprintf(port, sizeof(port), "%u", static_cast<unsigned>(connection.GetPort()));
    return "http://" + connection.GetHost() + ":" + port;
}

// Every answer is taken as the file's bytes, so an encoding nobody asked for
// (a server that gzips anyway) would pass for the file. Nothing is asked for.
bool AcceptEncoding(xHttpRequest& request, const xString& url)
{
    xString encoding;
    if (!request.QueryHeader("Content-Encoding", encoding) || encoding.IsEmpty() ||
        EqualsNoCase(encoding, "identity"))
        return true;
    LogErrorLine("Content-Encoding %s was not asked for, nothing taken from %s", encoding.c_str(),
                 url.c_str());
    return false;
}

uint32_t StallTimeMs()
{
    const xHttpSession* session = DownloadSession();
    return session != nullptr ? session->GetStallTimeoutMs() : xHttpSession::DefaultStallTimeoutMs;
}

// Fails a body that trickles in: each byte keeps the transport's stall timer
// from running out, so the pace is judged here, over whole stall times.
class PaceCheck
{
public:
    PaceCheck() : Window(std::chrono::milliseconds(StallTimeMs())), Start(std::chrono::steady_clock::now()) {}
    // False once a whole stall time has brought fewer than MinBytesPerStallTime bytes.
    bool Add(uint64_t bytes)
    {
        Count += bytes;
        const auto now = std::chrono::steady_clock::now();
        if (now - Start < Window)
            return true;
        if (Count < MinBytesPerStallTime)
            return false;
        Start = now;
        Count = 0;
        return true;
    }

private:
    std::chrono::steady_clock::duration Window;
    std::chrono::steady_clock::time_point Start;
    uint64_t Count = 0;
};

// Where the body's bytes go: the same read loop fills a file or a buffer.
class DownloadSink
{
public:
    virtual ~DownloadSink() = default;
    // `count` bytes that belong at `offset` of the range; false stops the transfer.
    virtual bool Put(uint64_t offset, const uint8_t* data, size_t count) = 0;
};

// Keeps the resume record beside an unfinished download: rewritten only every
// ResumeRecordInterval bytes, so the record costs next to nothing while a kill
// loses at most that much. It is written after the bytes it counts, so it never
// claims bytes that are not on disk (the system's cache holds both through a kill).
class ResumeNotes
{
public:
    ResumeNotes(const xEngineFileSystem& files, const xWString& path, const ResumeRecord& record)
        : Files(files), Path(path), Record(record), Written(record.Done)
    {
    }
    void Write(uint64_t done)
    {
        Record.Done = done;
        Written = done;
        const xString text = MakeResumeRecord(Record);
        std::unique_ptr<xFile> file = Files.OpenWrite(Path, false, false);
        if (!file || !file->Write(text.c_str(), static_cast<int64_t>(text.Length())))
            LogErrorLine("Cannot write the resume record %s", xString(Path).c_str());
    }
    void Reached(uint64_t done)
    {
        if (done - Written >= ResumeRecordInterval)
            Write(done);
    }

private:
    const xEngineFileSystem& Files;
    xWString Path;
    ResumeRecord Record;
    uint64_t Written;
};

// A body's bytes into the file from byte `base` on.
class FileSink : public DownloadSink
{
public:
    FileSink(xFile& file, uint64_t base, DownloadWatch* watch, ResumeNotes* notes)
        : File(file), Base(base), Watch(watch), Notes(notes)
    {
    }
    bool Put(uint64_t offset, const uint8_t* data, size_t count) override
    {
        if (!File.Seek(static_cast<int64_t>(Base + offset)))
            return false;
        if (!File.Write(data, static_cast<int64_t>(count)))
        {
            LogErrorLine("An exception happens when write data to file");
            return false;
        }
        // The pieces come in order from the file's first byte, so all before this end are written.
        const uint64_t end = Base + offset + count;
        if (Watch != nullptr)
            Watch->OnDisk.store(end, std::memory_order_release);
        if (Notes != nullptr)
            Notes->Reached(end);
        return true;
    }

private:
    xFile& File;
    uint64_t Base;
    DownloadWatch* Watch;
    ResumeNotes* Notes;
};

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
                     uint64_t& counted, std::atomic<uint64_t>* counter)
{
    // On the heap: worker threads run with the default stack.
    const size_t capacity =
        static_cast<size_t>(std::min<uint64_t>(DownloadPieceSize, std::max(skip, length)));
    std::vector<uint8_t> piece(std::max<size_t>(capacity, 1));
    uint8_t* buffer = piece.data();
    PaceCheck pace;
    while (skip > 0)
    {
        const int64_t got =
            request.ReadSome(buffer, static_cast<size_t>(std::min<uint64_t>(skip, piece.size())));
        if (got < 0)
            return BodyEnd::ReadFailed;
        if (got == 0)
            return BodyEnd::Ended;
        if (!pace.Add(static_cast<uint64_t>(got)))
            return BodyEnd::TooSlow;
        skip -= static_cast<uint64_t>(got);
    }
    uint64_t offset = 0;
    for (;;)
    {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(length - offset, piece.size()));
        const int64_t got = request.ReadSome(buffer, want);
        if (got < 0)
            return BodyEnd::ReadFailed;
        if (got == 0)
            return BodyEnd::Ended;
        if (!sink.Put(offset, buffer, static_cast<size_t>(got)))
            return BodyEnd::SinkFailed;
        if (!pace.Add(static_cast<uint64_t>(got)))
            return BodyEnd::TooSlow;
        offset += static_cast<uint64_t>(got);
        counted += static_cast<uint64_t>(got);
        if (counter != nullptr)
            counter->fetch_add(static_cast<uint64_t>(got), std::memory_order_relaxed);
    }
}

// A body that ended early: a failed read says so here, a failed sink has said
// so itself.
void LogBodyFailure(BodyEnd end, const xString& url)
{
    if (end == BodyEnd::ReadFailed)
        LogErrorLine("read data failed");
    else if (end == BodyEnd::TooSlow)
        LogErrorLine("the server sends too slowly (under %d bytes in %u ms), giving up on %s",
                     static_cast<int>(MinBytesPerStallTime), StallTimeMs(), url.c_str());
}

// Whether the answer to a ranged GET carries bytes first .. first + length - 1
// of the file of `whole` bytes that the HEAD described, and how many leading
// bytes of its body to skip to reach them. An error page is no file, and a
// server that ignores the range must not have the file's first bytes taken for
// the range's.
bool AcceptRangedAnswer(xHttpRequest& request, uint64_t first, uint64_t length, uint64_t whole,
                        const xString& url, uint64_t& skip)
{
    const int status = request.StatusCode();
    xString text;
    if (IsSuccess(status) && !AcceptEncoding(request, url))
        return false;
    if (status == 206)
    {
        ContentRange range;
        if (!request.QueryHeader("Content-Range", text) || !ParseContentRange(text, range) ||
            range.First != first || (range.Total >= 0 && static_cast<uint64_t>(range.Total) != whole))
        {
            LogErrorLine("wrong range in the answer, nothing taken from %s", url.c_str());
            return false;
        }
        skip = 0;
        return true;
    }
    if (IsSuccess(status))
    {
        // The whole file: the range was ignored. A length other than the HEAD's
        // means the file changed in between (or the server is lying).
        if (request.QueryHeader("Content-Length", text) &&
            ParseContentLength(text) != static_cast<int64_t>(whole))
        {
            LogErrorLine("file size changed, nothing taken from %s", url.c_str());
            return false;
        }
        skip = first;
        return true;
    }
    // Nothing was asked for, so "nothing satisfiable" is the right answer: the
    // empty file's "bytes=0--1".
    if (status == 416 && length == 0)
    {
        skip = 0;
        return true;
    }
    LogErrorLine("http status %d, nothing taken from %s", status, url.c_str());
    return false;
}

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

bool ReadResumeRecord(const xEngineFileSystem& files, const xWString& path, ResumeRecord& record)
{
    const int64_t size = files.GetFileSize(path);
    // A record is a few dozen bytes; anything large is not one.
    if (size <= 0 || size > 4096)
        return false;
    std::unique_ptr<xFile> file = files.OpenReadPlain(path, true);
    std::vector<char> text(static_cast<size_t>(size));
    return file && file->Read(text.data(), size) &&
           ParseResumeRecord(xString(text.data(), text.size()), record);
}

const char* const DeviceNames[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                   "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                   "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
} // namespace

bool GetUrlFileName(const xString& url, xString& name)
{
    UrlParts parts;
    return CrackUrl(url, parts) && UrlFileName(parts, name);
}

bool IsPlainFileName(const xString& name)
{
    if (name.IsEmpty() || FindText(name, "..") >= 0)
        return false;
    for (char c : name)
    {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr)
            return false;
    }
    // Windows drops a trailing dot or blank, so "a." would land on "a".
    if (name.Last() == '.' || name.Last() == ' ')
        return false;
    return !IsDeviceName(name);
}

bool IsDeviceName(const xString& name)
{
    // "NUL.td" is the null device on Windows, whatever the extension.
    const ptrdiff_t dot = FindText(name, ".");
    const xString stem = dot < 0 ? name : SubText(name, 0, static_cast<size_t>(dot));
    for (const char* device : DeviceNames)
    {
        if (EqualsNoCase(stem, device))
            return true;
    }
    return false;
}

int64_t ParseContentLength(const xString& text)
{
    // WinINet is asked for the header in a 30-byte buffer; a longer text does not fit.
    if (text.Length() >= 30)
        return -1;
    size_t at = 0;
    while (at < text.Length() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    if (at == text.Length() || text[at] < '0' || text[at] > '9')
        return -1;
    uint64_t value = 0;
    while (at < text.Length() && text[at] >= '0' && text[at] <= '9')
    {
        value = value * 10 + static_cast<uint64_t>(text[at] - '0');
        if (value > static_cast<uint64_t>(INT64_MAX))
            return -1;
        ++at;
    }
    while (at < text.Length() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    return at == text.Length() ? static_cast<int64_t>(value) : -1;
}

bool ParseContentRange(const xString& text, ContentRange& range)
{
    auto number = [&](size_t& at, uint64_t& value)
    {
        const size_t start = at;
        value = 0;
        while (at < text.Length() && text[at] >= '0' && text[at] <= '9')
        {
            if (at - start >= 19)
                return false;
            value = value * 10 + static_cast<uint64_t>(text[at] - '0');
            ++at;
        }
        return at > start;
    };
    if (!StartsWith(text, "bytes "))
        return false;
    size_t at = 6;
    ContentRange parsed;
    if (!number(at, parsed.First) || at >= text.Length() || text[at] != '-')
        return false;
    ++at;
    if (!number(at, parsed.Last) || at >= text.Length() || text[at] != '/' || parsed.Last < parsed.First)
        return false;
    ++at;
    if (at + 1 == text.Length() && text[at] == '*')
        parsed.Total = -1;
    else
    {
        uint64_t total = 0;
        if (!number(at, total) || at != text.Length() || total <= parsed.Last)
            return false;
        parsed.Total = static_cast<int64_t>(total);
    }
    range = parsed;
    return true;
}

xString MakeRangeHeader(uint64_t first, uint64_t length)
{
    // Unsigned arithmetic wraps where signed would overflow; 0 - 1 prints as -1.
    return "Range: bytes=" + SignedText(static_cast<int64_t>(first)) + "-" +
           SignedText(static_cast<int64_t>(first + length - 1)) + "\r\n";
}

int64_t QueryRemoteSize(xHttpConnection* connection, const char* path, xString* version)
{
    if (version != nullptr)
        *version = xString();
    if (connection == nullptr || path == nullptr || path[0] == 0)
        return -1;
    std::unique_ptr<xHttpRequest> request =
        connection->OpenRequest("HEAD", path, "HTTP/1.0", nullptr, xHttpFlagKeepConnection);
    if (!request)
        return -1;
    const xString url = Origin(*connection) + path;
    if (!request->Send(nullptr))
    {
        LogErrorLine("no answer from %s", url.c_str());
        return -1;
    }
    // An error page's length is not the file's. (A missing file is no fault
    // of the transfer and has always ended here without a line.)
    if (!IsSuccess(request->StatusCode()))
        return -1;
    xString text;
    const int64_t size = request->QueryHeader("Content-Length", text) ? ParseContentLength(text) : -1;
    if (size < 0)
    {
        LogErrorLine("no usable size of %s (Content-Length \"%s\")", url.c_str(), text.c_str());
        return -1;
    }
    if (version != nullptr && !request->QueryHeader("ETag", *version))
        request->QueryHeader("Last-Modified", *version);
    return size;
}

bool ParseResumeRecord(const xString& text, ResumeRecord& record)
{
    // Each line is "KEY VALUE\n"; the value runs to the line's end.
    size_t at = 0;
    const auto field = [&](const char* key, xString& value)
    {
        const xString rest = SubText(text, at);
        const ptrdiff_t end = FindText(rest, "\n");
        const xString prefix = xString(key) + " ";
        if (end < 0 || !StartsWith(rest, prefix.c_str()))
            return false;
        value = SubText(rest, prefix.Length(), static_cast<size_t>(end) - prefix.Length());
        at += static_cast<size_t>(end) + 1;
        return true;
    };
    xString size;
    xString done;
    ResumeRecord parsed;
    if (!field("size", size) || !field("version", parsed.Version) || !field("done", done) ||
        at != text.Length())
        return false;
    const int64_t sizeValue = ParseContentLength(size);
    const int64_t doneValue = ParseContentLength(done);
    if (sizeValue < 0 || doneValue < 0 || doneValue > sizeValue)
        return false;
    parsed.Size = static_cast<uint64_t>(sizeValue);
    parsed.Done = static_cast<uint64_t>(doneValue);
    record = parsed;
    return true;
}

xString MakeResumeRecord(const ResumeRecord& record)
{
    return "size " + SignedText(static_cast<int64_t>(record.Size)) + "\nversion " + record.Version +
           "\ndone " + SignedText(static_cast<int64_t>(record.Done)) + "\n";
}

xWString ResumeRecordPath(const UpdateContext& context, const xString& name)
{
    return context.GetDownloadFolder() + Utf8ToWide(name + ".resume");
}

bool LoadResumeRecord(const UpdateContext& context, const xString& name, ResumeRecord& record)
{
    return ReadResumeRecord(context.Files, ResumeRecordPath(context, name), record);
}

void DownloadWatch::Begin(const xWString& temporaryPath)
{
    std::unique_lock<std::shared_mutex> alone(Lock);
    TemporaryPath = temporaryPath;
}

void DownloadWatch::End()
{
    std::unique_lock<std::shared_mutex> alone(Lock);
    Ended = true;
}

namespace
{
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

// DownloadFile up to its rename: the bytes into "<name>.td" (or a numbered name).
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
    if (!OpenTarget(parts, target))
        return Ended(done, TransferOutcome::Unanswered);
    xString version;
    const int64_t remoteSize = QueryRemoteSize(target.Connection.get(), target.Parts.Path.c_str(), &version);
    if (remoteSize < 0)
        return Ended(done, TransferOutcome::Unanswered);
    done.Result.RemoteSize = remoteSize;
    const uint64_t fileSize = static_cast<uint64_t>(remoteSize);
    LogLine("file size: %d", Low32(fileSize));
    if (fileSize > options.MaxSize)
    {
        LogErrorLine("the server announces %s bytes for %s, more than the %s it may have",
                     SignedText(remoteSize).c_str(), url.c_str(),
                     SignedText(static_cast<int64_t>(options.MaxSize)).c_str());
        return Ended(done, TransferOutcome::TooLarge);
    }

    Temporary temporary;
    if (!OpenTemporary(context, name, fileSize, version, options.Resume, temporary))
        return Ended(done, TransferOutcome::NoTemporary);
    LogLine("file created: %s", temporary.Name.c_str());
    done.TemporaryName = temporary.Name;
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
    if (watch != nullptr)
    {
        watch->Begin(context.GetDownloadFolder() + Utf8ToWide(temporary.Name));
        watch->OnDisk.store(resumeAt, std::memory_order_release);
    }
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
} // namespace

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
    const bool moved = held != nullptr ? files.MoveHeldProgram(*held, destination, temporary)
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

namespace
{
// A span's bytes into memory; only those inside the wanted ranges are progress,
// the gaps between them are not.
class SpanSink : public DownloadSink
{
public:
    SpanSink(std::vector<uint8_t>& buffer, uint64_t first, const std::vector<ByteRange>& progress,
             std::atomic<uint64_t>& counter)
        : Buffer(buffer), First(first), Progress(progress), Counter(counter)
    {
    }
    bool Put(uint64_t offset, const uint8_t* data, size_t count) override
    {
        std::memcpy(Buffer.data() + offset, data, count);
        const uint64_t at = First + offset;
        Counter.fetch_add(BytesCovered(Progress, at, at + count), std::memory_order_relaxed);
        return true;
    }

private:
    std::vector<uint8_t>& Buffer;
    uint64_t First;
    const std::vector<ByteRange>& Progress;
    std::atomic<uint64_t>& Counter;
};
} // namespace

struct RangeFetcher::State
{
    Target Remote;
    bool Opened = false;
    int64_t Whole = -1;
    // An answer that ignored its range and brings the whole file, left open at
    // byte WholeAt: later ranges are read on from it instead of asking again.
    std::unique_ptr<xHttpRequest> WholeAnswer;
    uint64_t WholeAt = 0;
};

RangeFetcher::RangeFetcher(UpdateContext& context, const xString& url)
    : Context(context), Url(url), Os(std::make_unique<State>())
{
}

RangeFetcher::~RangeFetcher() = default;

int64_t RangeFetcher::RemoteSize()
{
    State& state = *Os;
    if (state.Whole >= 0)
        return state.Whole;
    // The connection object outlives a dropped socket: the transport connects
    // again on the next request.
    if (!state.Opened)
        state.Opened = OpenTarget(Url, state.Remote);
    if (!state.Opened)
        return -1;
    state.Whole = QueryRemoteSize(state.Remote.Connection.get(), state.Remote.Parts.Path.c_str());
    if (state.Whole >= 0)
        LogLine("file size: %d", Low32(static_cast<uint64_t>(state.Whole)));
    return state.Whole;
}

uint64_t RangeFetcher::Fetch(uint64_t start, uint64_t length, std::vector<uint8_t>& buffer,
                             const std::vector<ByteRange>& progress)
{
    State& state = *Os;
    const int64_t whole = RemoteSize();
    if (whole < 0)
        return 0;
    // A hostile manifest may name ranges of gigabytes: none is larger than a
    // package the launcher takes, and one that still finds no memory fails alone.
    if (length > MaxRangeBytes)
    {
        LogErrorLine("the range of %llu bytes at %llu of %s is larger than any package; not fetched",
                     static_cast<unsigned long long>(length), static_cast<unsigned long long>(start),
                     Url.c_str());
        buffer.clear();
        return 0;
    }
    try
    {
        buffer.assign(static_cast<size_t>(length), 0);
    }
    catch (const std::bad_alloc&)
    {
        LogErrorLine("no memory for the range of %llu bytes at %llu of %s; not fetched",
                     static_cast<unsigned long long>(length), static_cast<unsigned long long>(start),
                     Url.c_str());
        std::vector<uint8_t>().swap(buffer);
        return 0;
    }
    const xString endText = SignedText(static_cast<int64_t>(start + length - 1));
    SpanSink sink(buffer, start, progress, Context.Progress.PackageBytesReceived);
    uint64_t counted = 0;
    BodyEnd end = BodyEnd::Ended;
    if (state.WholeAnswer && start >= state.WholeAt)
    {
        end = TransferBody(*state.WholeAnswer, start - state.WholeAt, length, sink, counted, nullptr);
    }
    else
    {
        state.WholeAnswer.reset();
        // Kept alive: the next range goes over the same connection.
        std::unique_ptr<xHttpRequest> request = state.Remote.Connection->OpenRequest(
            "GET", state.Remote.Parts.Path.c_str(), "HTTP/1.1", AnyType, xHttpFlagKeepConnection);
        uint64_t skip = 0;
        if (!request || !request->Send(MakeRangeHeader(start, length).c_str()) ||
            !AcceptRangedAnswer(*request, start, length, static_cast<uint64_t>(whole), Url, skip))
            return 0;
        end = TransferBody(*request, skip, length, sink, counted, nullptr);
        const int status = request->StatusCode();
        if (status == 206)
        {
            // Reading on to the answer's end hands the connection back for the
            // next request; an answer longer than asked cannot carry one.
            uint8_t more = 0;
            if (end == BodyEnd::Ended && counted == length && request->Read(&more, 1) > 0)
                LogErrorLine("the answer ran past its range: %s", Url.c_str());
        }
        else if (IsSuccess(status))
            state.WholeAnswer = std::move(request);
    }
    if (end == BodyEnd::Ended)
        LogLine("start position: %d   block end: %s  finish.", Low32(start), endText.c_str());
    LogBodyFailure(end, Url);
    if (state.WholeAnswer)
    {
        if (counted == length)
            state.WholeAt = start + length;
        else
            state.WholeAnswer.reset();
    }
    if (counted == static_cast<uint64_t>(whole))
        LogLine("file buffer complete");
    return counted;
}
