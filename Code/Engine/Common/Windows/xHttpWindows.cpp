#include "xHttp.h"

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
};

struct xHttpRequest::Native
{
    InternetHandle Handle;
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
    // WinINet's prototype takes a non-const list it never writes to.
    LPCSTR* accept = const_cast<LPCSTR*>(acceptTypes);
    request->Os->Handle.Reset(
        HttpOpenRequestA(Os->Handle.Get(), verb, path, version, nullptr, accept, ToInternetFlags(flags), 0));
    HINTERNET handle = request->Os->Handle.Get();
    if (handle == nullptr)
        return nullptr;
    // The receive timeout covers both the wait for the response and each read:
    // a server that stops talking fails the call instead of holding the thread.
    SetTimeout(handle, INTERNET_OPTION_CONNECT_TIMEOUT, Session.GetConnectTimeoutMs());
    SetTimeout(handle, INTERNET_OPTION_SEND_TIMEOUT, Session.GetStallTimeoutMs());
    SetTimeout(handle, INTERNET_OPTION_RECEIVE_TIMEOUT, Session.GetStallTimeoutMs());
    SetTimeout(handle, INTERNET_OPTION_DATA_SEND_TIMEOUT, Session.GetStallTimeoutMs());
    SetTimeout(handle, INTERNET_OPTION_DATA_RECEIVE_TIMEOUT, Session.GetStallTimeoutMs());
    return request;
}

xHttpRequest::xHttpRequest() : Os(std::make_unique<Native>()) {}

xHttpRequest::~xHttpRequest() = default;

bool xHttpRequest::Send(const char* headers)
{
    Native& native = *Os;
    if (native.Sent || !native.Handle)
        return false;
    native.Sent = true;
    const DWORD length = headers != nullptr ? static_cast<DWORD>(std::strlen(headers)) : 0;
    if (!HttpSendRequestA(native.Handle.Get(), length > 0 ? headers : nullptr, length, nullptr, 0))
    {
        native.Failed = true;
        return false;
    }
    return true;
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

int64_t xHttpRequest::Read(void* buffer, size_t max)
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

int64_t xHttpRequest::ReadSome(void* buffer, size_t max)
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
