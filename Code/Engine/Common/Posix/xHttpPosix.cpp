#include "xHttp.h"

#include "xStringOps.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <vector>

// libcurl stands in for WinINet. The pull-style reads of WinINet are rebuilt on
// the multi interface: Read and ReadSome pump curl_multi_perform and
// curl_multi_poll, and the easy handle's body callback copies straight into the
// buffer they were given until it is full (ReadSome: until a pump has brought
// bytes) or the transfer has ended; what does not fit waits in a small buffer
// of its own for the next read. The requests on the wire are made to look like
// WinINet's: the verb, version, accept types and extra header lines as given,
// the session's agent as User-Agent, no Accept header unless asked for.

namespace
{
using Clock = std::chrono::steady_clock;

// Past this many buffered body bytes the transfer pauses until a read has taken
// them, so a fast server cannot fill memory while nobody reads.
constexpr size_t PauseAbove = 256 * 1024;
// Bytes curl hands over per write call (and asks of the socket per receive);
// larger than the default 16 KiB for fewer calls on a fast link.
constexpr long ReceiveBufferSize = 256 * 1024;
constexpr long MaxRedirects = 10;
// Header bytes taken per response; this curl bounds each line, not their
// number, and a server that never ends its headers must not fill memory.
constexpr size_t MaxHeaderBytes = 256 * 1024;

void InitialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

long ToCurlVersion(const char* version)
{
    if (version != nullptr && std::strcmp(version, "HTTP/1.0") == 0)
        return CURL_HTTP_VERSION_1_0;
    return CURL_HTTP_VERSION_1_1;
}

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// "HTTP/1.1 206 Partial Content" -> 206; 0 when the line is no status line.
int ParseStatusLine(const char* line, size_t length)
{
    if (length < 12 || std::strncmp(line, "HTTP/", 5) != 0)
        return 0;
    size_t at = 5;
    while (at < length && line[at] != ' ')
        ++at;
    while (at < length && line[at] == ' ')
        ++at;
    int status = 0;
    int digits = 0;
    while (at < length && digits < 3 && line[at] >= '0' && line[at] <= '9')
    {
        status = status * 10 + (line[at] - '0');
        ++at;
        ++digits;
    }
    return digits == 3 ? status : 0;
}

// The value of `name` in a "Name: value" line, trimmed; false when the line names another header.
bool MatchHeader(const xString& line, const char* name, xString& value)
{
    const size_t nameLength = std::strlen(name);
    if (line.Length() <= nameLength || line[nameLength] != ':')
        return false;
    if (!EqualsNoCase(SubText(line, 0, nameLength), name))
        return false;
    size_t start = nameLength + 1;
    size_t end = line.Length();
    while (start < end && IsBlank(line[start]))
        ++start;
    while (end > start && IsBlank(line[end - 1]))
        --end;
    value = SubText(line, start, end - start);
    return true;
}
} // namespace

struct xHttpSession::Native
{
};

struct xHttpConnection::Native
{
    // The connection cache lives in the multi handle: a HEAD and the GET after it
    // share one TCP connection when the server keeps it open.
    CURLM* Multi = nullptr;
    xString BaseUrl;

    ~Native()
    {
        if (Multi != nullptr)
            curl_multi_cleanup(Multi);
    }
};

struct xHttpRequest::Native
{
    CURLM* Multi = nullptr;
    CURL* Easy = nullptr;
    curl_slist* HeaderList = nullptr;
    bool Added = false;
    bool Sent = false;
    uint32_t StallTimeoutMs = xHttpSession::DefaultStallTimeoutMs;

    // The response being received: its status and header lines. A new status
    // line (after a 1xx or a followed redirect) starts them afresh.
    int Status = 0;
    bool HasLocation = false;
    std::vector<xString> HeaderLines;
    size_t HeaderBytes = 0;
    // The status line and headers of the final response are complete.
    bool HeadersDone = false;

    std::vector<uint8_t> Body;
    size_t BodyTaken = 0;
    bool Paused = false;
    // The caller's buffer while a read waits for bytes: the body callback fills it
    // directly, and only what does not fit goes through Body.
    uint8_t* Direct = nullptr;
    size_t DirectRoom = 0;
    size_t DirectFilled = 0;

    bool Finished = false;
    CURLcode Result = CURLE_OK;
    // Read has reported or must report the failure.
    bool Failed = false;
    Clock::time_point LastByte;

    ~Native()
    {
        if (Added)
            curl_multi_remove_handle(Multi, Easy);
        if (Easy != nullptr)
            curl_easy_cleanup(Easy);
        curl_slist_free_all(HeaderList);
    }

    bool AddHeader(const char* line)
    {
        curl_slist* grown = curl_slist_append(HeaderList, line);
        if (grown == nullptr)
            return false;
        HeaderList = grown;
        return true;
    }

    // A redirect that curl follows on its own: its body is not the answer.
    bool IsFollowedRedirect() const { return Status >= 300 && Status < 400 && HasLocation; }

    static size_t OnHeader(char* data, size_t size, size_t count, void* self)
    {
        Native& request = *static_cast<Native*>(self);
        const size_t length = size * count;
        // Header lines do not restart the stall time: the whole header block
        // must come within it, or a server sending a line now and then would
        // hold the request for ever.
        request.HeaderBytes += length;
        if (request.HeaderBytes > MaxHeaderBytes)
            return 0; // a short count makes curl end the transfer with an error
        const int status = ParseStatusLine(data, length);
        if (status != 0)
        {
            request.Status = status;
            request.HasLocation = false;
            request.HeadersDone = false;
            request.HeaderLines.clear();
            return length;
        }
        size_t end = length;
        while (end > 0 && (data[end - 1] == '\r' || data[end - 1] == '\n'))
            --end;
        if (end == 0)
        {
            // The blank line closes a header block. An interim 1xx answer and a
            // redirect being followed are not the response the caller waits for.
            if (request.Status >= 200 && !request.IsFollowedRedirect())
                request.HeadersDone = true;
            return length;
        }
        xString line(data, end);
        xString ignored;
        if (MatchHeader(line, "Location", ignored))
            request.HasLocation = true;
        request.HeaderLines.push_back(std::move(line));
        return length;
    }

    static size_t OnBody(char* data, size_t size, size_t count, void* self)
    {
        Native& request = *static_cast<Native*>(self);
        const size_t length = size * count;
        request.LastByte = Clock::now();
        if (request.IsFollowedRedirect())
            return length;
        request.HeadersDone = true;
        size_t used = 0;
        // Straight into the read's buffer, unless older bytes wait in Body: the order stays.
        if (request.Direct != nullptr && request.Buffered() == 0)
        {
            used = std::min(length, request.DirectRoom - request.DirectFilled);
            std::memcpy(request.Direct + request.DirectFilled, data, used);
            request.DirectFilled += used;
            if (used == length)
                return length;
        }
        // A pause makes curl offer the whole call again, so only a call that took nothing may pause.
        if (used == 0 && request.Buffered() >= PauseAbove)
        {
            // curl keeps these bytes and offers them again after the pause.
            request.Paused = true;
            return CURL_WRITEFUNC_PAUSE;
        }
        if (request.BodyTaken == request.Body.size())
        {
            request.Body.clear();
            request.BodyTaken = 0;
        }
        request.Body.insert(request.Body.end(), data + used, data + length);
        return length;
    }

    size_t Buffered() const { return Body.size() - BodyTaken; }

    void CollectFinished()
    {
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(Multi, &queued))
        {
            if (message->msg == CURLMSG_DONE && message->easy_handle == Easy)
            {
                Finished = true;
                Result = message->data.result;
            }
        }
    }

    // Drives the transfer until `done()` holds or the transfer has ended. False
    // when nothing arrived for the stall time: the transfer is then abandoned.
    template <typename Done> bool Pump(Done done)
    {
        while (!done() && !Finished)
        {
            int running = 0;
            if (curl_multi_perform(Multi, &running) != CURLM_OK)
            {
                Finished = true;
                Result = CURLE_RECV_ERROR;
                return true;
            }
            CollectFinished();
            if (done() || Finished)
                break;
            const auto waited =
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - LastByte).count();
            if (waited >= static_cast<long long>(StallTimeoutMs))
            {
                Finished = true;
                Result = CURLE_OPERATION_TIMEDOUT;
                return false;
            }
            const long long left = static_cast<long long>(StallTimeoutMs) - waited;
            // curl_multi_poll wakes earlier for curl's own timers (connect timeout, retries).
            curl_multi_poll(Multi, nullptr, 0, static_cast<int>(std::min<long long>(left, 1000)), nullptr);
        }
        return true;
    }

    // Read (`whole`: until `max` bytes or the end) and ReadSome (until any bytes or the end).
    int64_t Take(void* buffer, size_t max, bool whole)
    {
        if (!Sent || Failed)
            return -1;
        uint8_t* out = static_cast<uint8_t*>(buffer);
        size_t copied = 0;
        while (copied < max && (whole || copied == 0))
        {
            const size_t buffered = Buffered();
            if (buffered > 0)
            {
                const size_t take = std::min(buffered, max - copied);
                std::memcpy(out + copied, Body.data() + BodyTaken, take);
                BodyTaken += take;
                copied += take;
                continue;
            }
            if (Paused)
            {
                // Time spent paused was ours, not the server's.
                Paused = false;
                LastByte = Clock::now();
                curl_easy_pause(Easy, CURLPAUSE_CONT);
                continue;
            }
            if (Finished)
            {
                if (Result != CURLE_OK)
                {
                    Failed = true;
                    return copied > 0 ? static_cast<int64_t>(copied) : -1;
                }
                break;
            }
            Direct = out + copied;
            DirectRoom = max - copied;
            DirectFilled = 0;
            Pump(
                [&] {
                    return DirectFilled == DirectRoom || (!whole && DirectFilled > 0) || Buffered() > 0 ||
                           Paused;
                });
            copied += DirectFilled;
            Direct = nullptr;
        }
        return static_cast<int64_t>(copied);
    }
};

xHttpSession::xHttpSession(const char* agent, xHttpProxyMode mode)
    : Agent(agent != nullptr ? agent : ""), ProxyMode(mode), Os(std::make_unique<Native>())
{
}

xHttpSession::~xHttpSession() = default;

std::unique_ptr<xHttpSession> xHttpSession::Open(const char* agent, xHttpProxyMode mode)
{
    InitialiseCurlOnce();
    return std::unique_ptr<xHttpSession>(new xHttpSession(agent, mode));
}

std::unique_ptr<xHttpConnection> xHttpSession::Connect(const char* host, uint16_t port)
{
    if (host == nullptr || host[0] == 0)
        return nullptr;
    std::unique_ptr<xHttpConnection> connection(new xHttpConnection(*this, host, port));
    connection->Os->Multi = curl_multi_init();
    if (connection->Os->Multi == nullptr)
        return nullptr;
    char portText[8];
    std::snprintf(portText, sizeof(portText), "%u", static_cast<unsigned>(port));
    connection->Os->BaseUrl = xString("http://") + host + ":" + portText;
    return connection;
}

xHttpConnection::xHttpConnection(xHttpSession& session, const char* host, uint16_t port)
    : Session(session), Host(host), Port(port), Os(std::make_unique<Native>())
{
}

xHttpConnection::~xHttpConnection() = default;

std::unique_ptr<xHttpRequest> xHttpConnection::OpenRequest(const char* verb, const char* path,
                                                           const char* version,
                                                           const char* const* acceptTypes, uint32_t flags)
{
    if (verb == nullptr || verb[0] == 0 || path == nullptr)
        return nullptr;
    std::unique_ptr<xHttpRequest> request(new xHttpRequest());
    request->Cap = &Session.ReadCap();
    Native& connection = *Os;
    xHttpRequest::Native& native = *request->Os;
    native.Multi = connection.Multi;
    native.StallTimeoutMs = Session.GetStallTimeoutMs();
    native.Easy = curl_easy_init();
    CURL* easy = native.Easy;
    if (easy == nullptr)
        return nullptr;

    const xString url = connection.BaseUrl + (path[0] == '/' ? "" : "/") + path;
    bool ok = curl_easy_setopt(easy, CURLOPT_URL, url.c_str()) == CURLE_OK;
    // Threads may run transfers at the same time; signals would reach the wrong one.
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    // The path goes out as the caller wrote it, as WinINet sends it.
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy, CURLOPT_USERAGENT, Session.GetAgent().c_str());
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, ToCurlVersion(version));
    if (Session.GetProxyMode() == xHttpProxyMode::Direct)
        curl_easy_setopt(easy, CURLOPT_PROXY, ""); // an empty proxy also overrides http_proxy
    // WinINet follows redirects on its own; so does this side, over plain HTTP only.
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, MaxRedirects);
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(Session.GetConnectTimeoutMs()));
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, ReceiveBufferSize);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &xHttpRequest::Native::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, &native);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &xHttpRequest::Native::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &native);
    if (std::strcmp(verb, "HEAD") == 0)
        curl_easy_setopt(easy, CURLOPT_NOBODY, 1L);
    else if (std::strcmp(verb, "GET") == 0)
        curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    else
        curl_easy_setopt(easy, CURLOPT_CUSTOMREQUEST, verb);

    // WinINet sends an Accept header only for the types it is given; curl's
    // default "*/*" is removed by naming the header without a value.
    xString accept("Accept:");
    if (acceptTypes != nullptr && acceptTypes[0] != nullptr)
    {
        for (size_t i = 0; acceptTypes[i] != nullptr; ++i)
        {
            accept += i == 0 ? " " : ", ";
            accept += acceptTypes[i];
        }
    }
    ok = ok && native.AddHeader(accept.c_str());
    if (flags & xHttpFlagPragmaNoCache)
    {
        ok = ok && native.AddHeader("Pragma: no-cache");
        ok = ok && native.AddHeader("Cache-Control: no-cache");
    }
    // Reload and no-cache-write concern WinINet's local cache; curl keeps none.
    if (!ok)
        return nullptr;
    return request;
}

xHttpRequest::xHttpRequest() : Os(std::make_unique<Native>()) {}

xHttpRequest::~xHttpRequest() = default;

bool xHttpRequest::SendNow(const char* headers)
{
    Native& native = *Os;
    if (native.Sent || native.Easy == nullptr)
        return false;
    native.Sent = true;
    // Each line of the caller's text becomes one custom header, sent verbatim:
    // a Range of "bytes=0--1" goes out exactly so, as WinINet would send it.
    if (headers != nullptr)
    {
        const char* line = headers;
        while (*line != 0)
        {
            const char* end = line;
            while (*end != 0 && *end != '\r' && *end != '\n')
                ++end;
            if (end > line && !native.AddHeader(xString(line, static_cast<size_t>(end - line)).c_str()))
                return false;
            line = end;
            while (*line == '\r' || *line == '\n')
                ++line;
        }
    }
    if (curl_easy_setopt(native.Easy, CURLOPT_HTTPHEADER, native.HeaderList) != CURLE_OK)
        return false;
    if (curl_multi_add_handle(native.Multi, native.Easy) != CURLM_OK)
        return false;
    native.Added = true;
    native.LastByte = Clock::now();
    native.Pump([&] { return native.HeadersDone; });
    if (native.HeadersDone)
        return true;
    // A response without a body (a HEAD, a 204) may end before the blank line is seen.
    if (native.Finished && native.Result == CURLE_OK && native.Status != 0)
        return true;
    native.Failed = true;
    return false;
}

int xHttpRequest::StatusCode()
{
    const Native& native = *Os;
    return native.Sent && !native.Failed ? native.Status : 0;
}

bool xHttpRequest::QueryHeader(const char* name, xString& value)
{
    const Native& native = *Os;
    if (!native.Sent || name == nullptr)
        return false;
    for (const xString& line : native.HeaderLines)
    {
        if (MatchHeader(line, name, value))
            return true;
    }
    return false;
}

int64_t xHttpRequest::ReadNow(void* buffer, size_t max)
{
    return Os->Take(buffer, max, true);
}

int64_t xHttpRequest::ReadSomeNow(void* buffer, size_t max)
{
    return Os->Take(buffer, max, false);
}
