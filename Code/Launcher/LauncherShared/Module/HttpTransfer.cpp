#include "DownloadSink.h"
#include "InternetSessions.h"
#include "LauncherDownloadInternal.h"
#include "PaceCheck.h"

#include "xLogLine.h"
#include "xStringOps.h"

#include <algorithm>
#include <cstdio>
#include <vector>

namespace
{
// The http://host:port origin of a connection, for log lines about it.
xString Origin(const xHttpConnection& connection)
{
    char port[8];
    std::snprintf(port, sizeof(port), "%u", static_cast<unsigned>(connection.GetPort()));
    return "http://" + connection.GetHost() + ":" + port;
}
} // namespace

namespace LauncherDownloadInternal
{

int Low32(uint64_t value)
{
    return static_cast<int>(static_cast<uint32_t>(value));
}

bool IsSuccess(int status)
{
    return status >= 200 && status < 300;
}

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

void LogBodyFailure(BodyEnd end, const xString& url)
{
    if (end == BodyEnd::ReadFailed)
        LogErrorLine("read data failed");
    else if (end == BodyEnd::TooSlow)
        LogErrorLine("the server sends too slowly (under %d bytes in %u ms), giving up on %s",
                     static_cast<int>(MinBytesPerStallTime), StallTimeMs(), url.c_str());
}

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
} // namespace LauncherDownloadInternal

using namespace LauncherDownloadInternal;

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
