#include "xHttp.h"

#include "xHttpSendDeadlineWindows.h"
#include "xLogLine.h"
#include "xStringOps.h"

#include <windows.h>
#include <wininet.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <vector>

namespace
{
// ReadSome asks for the bytes that the recent pace brings in this long, and no
// fewer than are announced as there: a fast link is read in large pieces, a
// slow one is never waited on for more than a moment.
constexpr double ReadAheadSeconds = 0.02;
constexpr double RateWindowSeconds = 0.5;
// Redirects are followed here, not by WinINet: Wine's follows a loop for ever.
// As many as libcurl is allowed on the POSIX side.
constexpr int MaxRedirects = 10;

// Owns one WinINet handle; closing a parent does not close its children, so each
// level keeps its own.
class InternetHandle
{
public:
    InternetHandle() = default;
    explicit InternetHandle(HINTERNET handle) : Handle(handle) {}
    ~InternetHandle() { Reset(); }
    InternetHandle(const InternetHandle&) = delete;
    InternetHandle& operator=(const InternetHandle&) = delete;

    void Reset(HINTERNET handle = nullptr)
    {
        if (Handle != nullptr)
            InternetCloseHandle(Handle);
        Handle = handle;
    }
    // Lets go of a handle that another thread has closed.
    void Forget() { Handle = nullptr; }
    HINTERNET Get() const { return Handle; }
    explicit operator bool() const { return Handle != nullptr; }

private:
    HINTERNET Handle = nullptr;
};

void SetTimeout(HINTERNET handle, DWORD option, uint32_t milliseconds)
{
    DWORD value = milliseconds;
    InternetSetOptionA(handle, option, &value, sizeof(value));
}

DWORD ToInternetFlags(uint32_t flags)
{
    DWORD result = 0;
    if (flags & xHttpFlagKeepConnection)
        result |= INTERNET_FLAG_KEEP_CONNECTION;
    if (flags & xHttpFlagReload)
        result |= INTERNET_FLAG_RELOAD;
    if (flags & xHttpFlagNoCacheWrite)
        result |= INTERNET_FLAG_NO_CACHE_WRITE;
    if (flags & xHttpFlagPragmaNoCache)
        result |= INTERNET_FLAG_PRAGMA_NOCACHE;
    return result;
}
} // namespace

struct xHttpSession::Native
{
    InternetHandle Handle;
};

struct xHttpConnection::Native
{
    InternetHandle Handle;
    HINTERNET Session = nullptr; // the session's handle, for connections to the hosts redirects name
};

struct xHttpRequest::Native
{
    // The connection to a host a redirect named; declared first so that it
    // closes after the request on it.
    InternetHandle OtherHost;
    InternetHandle Handle;
    // What a redirect's new request is opened with.
    HINTERNET Session = nullptr;
    HINTERNET Connection = nullptr;
    xString Verb;
    xString Version;
    std::vector<xString> AcceptTypes;
    DWORD Flags = 0;
    uint32_t ConnectMs = 0;
    uint32_t StallMs = 0;
    // The send timeout that finds this request's socket (xHttpSendDeadline).
    uint32_t SendMark = 0;
    bool Sent = false;
    bool Failed = false;
    // What InternetQueryDataAvailable last announced and ReadSome has not yet
    // taken: WinINet counts afresh only once all of it has been read.
    DWORD Available = 0;
    // The body's recent pace as ReadSome saw it: bytes over the time between
    // its returns, both scaled down to the last RateWindowSeconds.
    double RecentBytes = 0;
    double RecentSeconds = 0;
    std::chrono::steady_clock::time_point LastReturn;
    bool PaceStarted = false;
};

xHttpSession::xHttpSession(const char* agent, xHttpProxyMode mode)
    : Agent(agent != nullptr ? agent : ""), ProxyMode(mode), Os(std::make_unique<Native>())
{
}

xHttpSession::~xHttpSession() = default;

std::unique_ptr<xHttpSession> xHttpSession::Open(const char* agent, xHttpProxyMode mode)
{
    std::unique_ptr<xHttpSession> session(new xHttpSession(agent, mode));
    const DWORD access =
        mode == xHttpProxyMode::Direct ? INTERNET_OPEN_TYPE_DIRECT : INTERNET_OPEN_TYPE_PRECONFIG;
    session->Os->Handle.Reset(InternetOpenA(session->Agent.c_str(), access, nullptr, nullptr, 0));
    if (!session->Os->Handle)
        return nullptr;
    return session;
}

std::unique_ptr<xHttpConnection> xHttpSession::Connect(const char* host, uint16_t port)
{
    if (host == nullptr || host[0] == 0)
        return nullptr;
    std::unique_ptr<xHttpConnection> connection(new xHttpConnection(*this, host, port));
    connection->Os->Handle.Reset(
        InternetConnectA(Os->Handle.Get(), host, port, nullptr, nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection->Os->Handle)
        return nullptr;
    connection->Os->Session = Os->Handle.Get();
    return connection;
}

xHttpConnection::xHttpConnection(xHttpSession& session, const char* host, uint16_t port)
    : Session(session), Host(host), Port(port), Os(std::make_unique<Native>())
{
}

xHttpConnection::~xHttpConnection() = default;

namespace
{
// Opens the request on `connection` with the options every request gets.
HINTERNET OpenWithOptions(HINTERNET connection, const xHttpRequest::Native& native, const char* path)
{
    std::vector<LPCSTR> accept;
    for (const xString& type : native.AcceptTypes)
        accept.push_back(type.c_str());
    accept.push_back(nullptr);
    HINTERNET handle =
        HttpOpenRequestA(connection, native.Verb.c_str(), path, native.Version.c_str(), nullptr,
                         native.AcceptTypes.empty() ? nullptr : accept.data(), native.Flags, 0);
    if (handle == nullptr)
        return nullptr;
    // The receive timeout covers both the wait for the response and each read:
    // a server that stops talking fails the call instead of holding the thread.
    // The send timeout, a little longer, is the mark that finds the request's
    // socket at its deadline.
    SetTimeout(handle, INTERNET_OPTION_CONNECT_TIMEOUT, native.ConnectMs);
    SetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, native.SendMark);
    SetTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, native.StallMs);
    SetTimeout(handle, INTERNET_OPTION_DATA_SEND_TIMEOUT, native.StallMs);
    SetTimeout(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, native.StallMs);
    return handle;
}

bool IsRedirect(DWORD status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

// Opens the request again where a redirect's Location points, over plain HTTP
// only (a new connection for another host). False when it cannot be followed.
bool OpenRedirectTarget(xHttpRequest::Native& native, const xString& location)
{
    URL_COMPONENTSA parts{};
    parts.dwStructSize = sizeof(parts);
    char host[256] = {};
    char path[2048] = {};
    parts.lpszHostName = host;
    parts.dwHostNameLength = sizeof(host);
    parts.lpszUrlPath = path;
    parts.dwUrlPathLength = sizeof(path);
    HINTERNET connection = native.Connection;
    if (StartsWith(location, "/"))
    {
        if (location.Length() >= sizeof(path))
            return false;
        std::memcpy(path, location.c_str(), location.Length() + 1);
    }
    else if (InternetCrackUrlA(location.c_str(), 0, 0, &parts) && parts.nScheme == INTERNET_SCHEME_HTTP)
    {
        // A path and its query come apart in the crack; the request line takes both.
        char extra[2048] = {};
        URL_COMPONENTSA query{};
        query.dwStructSize = sizeof(query);
        query.lpszExtraInfo = extra;
        query.dwExtraInfoLength = sizeof(extra);
        if (InternetCrackUrlA(location.c_str(), 0, 0, &query) &&
            std::strlen(path) + std::strlen(extra) < sizeof(path))
            std::strcat(path, extra);
        connection = nullptr;
    }
    else
        return false;
    if (path[0] == 0)
        return false;
    native.Handle.Reset();
    if (connection == nullptr)
    {
        native.OtherHost.Reset(InternetConnectA(native.Session, host, parts.nPort, nullptr, nullptr,
                                                INTERNET_SERVICE_HTTP, 0, 0));
        connection = native.OtherHost.Get();
        if (connection == nullptr)
            return false;
    }
    native.Handle.Reset(OpenWithOptions(connection, native, path));
    return static_cast<bool>(native.Handle);
}

// Sends the request and follows its redirects, ten at most, all under one
// deadline. False when no final answer came in time.
bool SendFollowingRedirects(xHttpRequest& request, xHttpRequest::Native& native, const char* headers,
                            xHttpSendDeadline& deadline)
{
    const DWORD length = headers != nullptr ? static_cast<DWORD>(std::strlen(headers)) : 0;
    for (int redirects = 0;; ++redirects)
    {
        if (!deadline.Send(native.Handle.Get(), headers, length))
            return false;
        xString location;
        if (!IsRedirect(static_cast<DWORD>(request.StatusCode())) ||
            !request.QueryHeader("Location", location))
            return true;
        if (redirects >= MaxRedirects || !OpenRedirectTarget(native, location))
            return false;
    }
}
} // namespace

std::unique_ptr<xHttpRequest> xHttpConnection::OpenRequest(const char* verb, const char* path,
                                                           const char* version,
                                                           const char* const* acceptTypes, uint32_t flags)
{
    if (verb == nullptr || verb[0] == 0 || path == nullptr)
        return nullptr;
    std::unique_ptr<xHttpRequest> request(new xHttpRequest());
    request->Cap = &Session.ReadCap();
    xHttpRequest::Native& native = *request->Os;
    native.Session = Os->Session;
    native.Connection = Os->Handle.Get();
    native.Verb = verb;
    native.Version = version != nullptr ? version : "HTTP/1.1";
    for (size_t i = 0; acceptTypes != nullptr && acceptTypes[i] != nullptr; ++i)
        native.AcceptTypes.push_back(acceptTypes[i]);
    native.Flags = ToInternetFlags(flags) | INTERNET_FLAG_NO_AUTO_REDIRECT;
    native.ConnectMs = Session.GetConnectTimeoutMs();
    native.StallMs = Session.GetStallTimeoutMs();
    native.SendMark = xHttpSendDeadline::NewMark(native.StallMs);
    native.Handle.Reset(OpenWithOptions(native.Connection, native, path));
    if (!native.Handle)
        return nullptr;
    return request;
}

xHttpRequest::xHttpRequest() : Os(std::make_unique<Native>()) {}

xHttpRequest::~xHttpRequest() = default;

bool xHttpRequest::SendNow(const char* headers)
{
    Native& native = *Os;
    if (native.Sent || !native.Handle)
        return false;
    native.Sent = true;
    // The status line and headers must all come within the stall time: a server
    // that sends a header line now and then would otherwise hold the thread.
    xHttpSendDeadline deadline(native.StallMs, native.SendMark);
    if (!deadline.IsRunning())
        LogErrorLine("no timer for the deadline of a request");
    const bool answered = deadline.IsRunning() && SendFollowingRedirects(*this, native, headers, deadline);
    if (deadline.ClosedRequest())
        native.Handle.Forget();
    if (deadline.Stop())
    {
        LogErrorLine("answer headers not complete within %u ms: request cancelled", native.StallMs);
        native.Failed = true;
        return false;
    }
    native.Failed = !answered;
    return answered;
}

int xHttpRequest::StatusCode()
{
    const Native& native = *Os;
    if (!native.Sent || native.Failed)
        return 0;
    DWORD status = 0;
    DWORD size = sizeof(status);
    if (!HttpQueryInfoA(native.Handle.Get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                        nullptr))
        return 0;
    return static_cast<int>(status);
}

bool xHttpRequest::QueryHeader(const char* name, xString& value)
{
    const Native& native = *Os;
    if (!native.Sent || native.Failed || name == nullptr || name[0] == 0)
        return false;
    const bool contentLength = EqualsNoCase(xString(name), "Content-Length");
    const DWORD level = contentLength ? HTTP_QUERY_CONTENT_LENGTH : HTTP_QUERY_CUSTOM;
    std::vector<char> buffer(std::max<size_t>(std::strlen(name) + 1, 256));
    for (int attempt = 0; attempt < 2; ++attempt)
    {
        // HTTP_QUERY_CUSTOM reads the header's name from the buffer it fills.
        std::memset(buffer.data(), 0, buffer.size());
        std::memcpy(buffer.data(), name, std::strlen(name));
        DWORD size = static_cast<DWORD>(buffer.size());
        if (HttpQueryInfoA(native.Handle.Get(), level, buffer.data(), &size, nullptr))
        {
            value = xString(buffer.data(), std::min<size_t>(size, buffer.size()));
            return true;
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER)
            return false;
        buffer.resize(static_cast<size_t>(size) + 1);
    }
    return false;
}

int64_t xHttpRequest::ReadNow(void* buffer, size_t max)
{
    Native& native = *Os;
    if (!native.Sent || native.Failed)
        return -1;
    char* out = static_cast<char*>(buffer);
    size_t copied = 0;
    // InternetReadFile may stop short of the count; the caller is promised a full
    // buffer unless the body ends.
    while (copied < max)
    {
        const DWORD want = static_cast<DWORD>(std::min<size_t>(max - copied, 1u << 30));
        DWORD got = 0;
        if (!InternetReadFile(native.Handle.Get(), out + copied, want, &got))
        {
            native.Failed = true;
            return copied > 0 ? static_cast<int64_t>(copied) : -1;
        }
        if (got == 0)
            break;
        copied += got;
        native.Available -= std::min(got, native.Available);
    }
    return static_cast<int64_t>(copied);
}

int64_t xHttpRequest::ReadSomeNow(void* buffer, size_t max)
{
    Native& native = *Os;
    if (!native.Sent || native.Failed)
        return -1;
    if (max == 0)
        return 0;
    if (!native.PaceStarted)
    {
        native.PaceStarted = true;
        native.LastReturn = std::chrono::steady_clock::now();
    }
    // InternetReadFile waits for its whole count. InternetQueryDataAvailable
    // waits only until some bytes are there (under the same receive timeout),
    // none announced meaning the body has ended; but it may announce only
    // WinINet's own buffer (8 KiB under Wine), and reading 8 KiB per call would
    // hold a fast link to a crawl. So the read asks for the announced bytes or,
    // when more, for what the recent pace brings within ReadAheadSeconds; when
    // that fills the whole buffer, the call that asks is saved.
    const double pace = native.RecentSeconds > 0 ? native.RecentBytes / native.RecentSeconds : 0;
    const size_t ahead = static_cast<size_t>(std::min(pace * ReadAheadSeconds, double(1u << 30)));
    if (native.Available == 0 && ahead < max)
    {
        if (!InternetQueryDataAvailable(native.Handle.Get(), &native.Available, 0, 0))
        {
            native.Failed = true;
            return -1;
        }
        if (native.Available == 0)
            return 0;
    }
    const DWORD want =
        static_cast<DWORD>(std::min<size_t>({max, std::max<size_t>(native.Available, ahead), 1u << 30}));
    DWORD got = 0;
    if (!InternetReadFile(native.Handle.Get(), buffer, want, &got))
    {
        native.Failed = true;
        return -1;
    }
    native.Available -= std::min(got, native.Available);
    const auto now = std::chrono::steady_clock::now();
    native.RecentBytes += got;
    native.RecentSeconds += std::chrono::duration<double>(now - native.LastReturn).count();
    native.LastReturn = now;
    if (native.RecentSeconds > RateWindowSeconds)
    {
        native.RecentBytes *= RateWindowSeconds / native.RecentSeconds;
        native.RecentSeconds = RateWindowSeconds;
    }
    return static_cast<int64_t>(got);
}
