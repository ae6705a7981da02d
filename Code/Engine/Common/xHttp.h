#pragma once

#include "xByteRateCap.h"
#include "xString.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// Plain HTTP transport, shaped by what the downloader asks of it: a session (the
// agent and the proxy choice) opens connections to one host and port, a
// connection opens requests, a request is sent once and its body pulled with
// Read or ReadSome. Windows speaks WinINet; POSIX drives a libcurl easy handle
// through the multi interface from inside the reads, so both block the calling
// thread the same way. Objects are used by one thread at a time; a session may
// serve many threads. A connection must outlive its requests, a session its
// connections.
//
// The thread that owns the windows never waits on the network: once start-up
// names it (xHttpForbidRequestsOnThisThread, when its first window is made), a
// request it sends is refused with an error line and fails as an unanswered
// one does. A slow or silent server then costs a worker's time, never a frozen
// window; the refusal is loud rather than fatal so that a player's launcher
// never ends over it.

// Request flags: the WinINet flags the callers name. The Windows side passes the
// INTERNET_FLAG_* values; the POSIX side sends what WinINet would.
enum xHttpFlags : uint32_t
{
    xHttpFlagNone = 0,
    // INTERNET_FLAG_KEEP_CONNECTION: reuse the connection where the server allows.
    xHttpFlagKeepConnection = 1u << 0,
    // INTERNET_FLAG_RELOAD: never answered from a local cache.
    xHttpFlagReload = 1u << 1,
    // INTERNET_FLAG_NO_CACHE_WRITE: the response is not stored in a local cache.
    xHttpFlagNoCacheWrite = 1u << 2,
    // INTERNET_FLAG_PRAGMA_NOCACHE: asks proxies on the way not to answer from theirs.
    xHttpFlagPragmaNoCache = 1u << 3,
};

enum class xHttpProxyMode
{
    // The system's proxy settings (Windows: the Internet options; POSIX: http_proxy and no_proxy).
    Preconfigured,
    // Straight to the server, whatever the settings say.
    Direct,
};

class xHttpConnection;
class xHttpRequest;

// From now on, requests from the calling thread are refused.
void xHttpForbidRequestsOnThisThread();
// Every thread may send again (tests).
void xHttpAllowRequestsOnEveryThread();
// False on the thread named by xHttpForbidRequestsOnThisThread.
bool xHttpMaySendOnThisThread();

class xHttpSession
{
public:
    // Connecting for longer counts as a failed send.
    static constexpr uint32_t DefaultConnectTimeoutMs = 15000;
    // No byte for this long, while waiting for the response or for body bytes,
    // counts as a failed send or read: a server that stops talking must not hold
    // a worker thread for ever.
    static constexpr uint32_t DefaultStallTimeoutMs = 30000;

    // Null when the system refuses to open a session.
    static std::unique_ptr<xHttpSession> Open(const char* agent, xHttpProxyMode mode);
    ~xHttpSession();
    xHttpSession(const xHttpSession&) = delete;
    xHttpSession& operator=(const xHttpSession&) = delete;

    // For requests opened afterwards; 0 keeps the current value.
    void SetTimeouts(uint32_t connectMs, uint32_t stallMs);
    uint32_t GetConnectTimeoutMs() const { return ConnectTimeoutMs.load(std::memory_order_relaxed); }
    uint32_t GetStallTimeoutMs() const { return StallTimeoutMs.load(std::memory_order_relaxed); }
    const xString& GetAgent() const { return Agent; }
    // Holds the body bytes that all requests of this session read under one
    // rate (uncapped until set): one cap shared by every connection.
    xByteRateCap& ReadCap() { return Cap; }
    xHttpProxyMode GetProxyMode() const { return ProxyMode; }

    // Null on failure. Nothing goes over the network yet: the first request connects.
    std::unique_ptr<xHttpConnection> Connect(const char* host, uint16_t port);

    struct Native;

private:
    xHttpSession(const char* agent, xHttpProxyMode mode);

    xString Agent;
    xHttpProxyMode ProxyMode;
    std::atomic<uint32_t> ConnectTimeoutMs{DefaultConnectTimeoutMs};
    std::atomic<uint32_t> StallTimeoutMs{DefaultStallTimeoutMs};
    xByteRateCap Cap;
    std::unique_ptr<Native> Os;
};

class xHttpConnection
{
public:
    ~xHttpConnection();
    xHttpConnection(const xHttpConnection&) = delete;
    xHttpConnection& operator=(const xHttpConnection&) = delete;

    // `version` such as "HTTP/1.0" or "HTTP/1.1" (null: HTTP/1.1); `acceptTypes`
    // a null-terminated list of media types, or null for no Accept header; `flags`
    // a combination of xHttpFlags. Null on failure.
    std::unique_ptr<xHttpRequest> OpenRequest(const char* verb, const char* path, const char* version,
                                              const char* const* acceptTypes, uint32_t flags);

    const xString& GetHost() const { return Host; }
    uint16_t GetPort() const { return Port; }

    struct Native;

private:
    friend class xHttpSession;
    xHttpConnection(xHttpSession& session, const char* host, uint16_t port);

    xHttpSession& Session;
    xString Host;
    uint16_t Port;
    std::unique_ptr<Native> Os;
};

class xHttpRequest
{
public:
    ~xHttpRequest();
    xHttpRequest(const xHttpRequest&) = delete;
    xHttpRequest& operator=(const xHttpRequest&) = delete;

    // Sends the request with `headers` (complete lines, each ending in "\r\n";
    // null or empty for none), going out as given, and waits for the status line
    // and headers of the response. False when no response came, or when the
    // calling thread owns the windows (see above). Call once.
    bool Send(const char* headers);
    // The response's status code; 0 before a successful Send.
    int StatusCode();
    // The first value of the response header `name` (any case). False when the
    // response has no such header.
    bool QueryHeader(const char* name, xString& value);
    // Waits until `max` bytes of the body have arrived or the body has ended, and
    // copies them to `buffer`. The count; 0 at the end of the body (and always for
    // `max` 0); -1 when the transfer failed: connection lost, stalled beyond the
    // session's stall time, or a broken response. Bytes that arrived before a
    // failure are handed out first; the next call then gives -1.
    int64_t Read(void* buffer, size_t max);
    // As Read, but waits only for the first bytes: once some bytes of the body
    // have arrived, copies up to `max` of them without waiting for a full
    // buffer. A large buffer then costs no delay on a slow link, where progress
    // must move as bytes come. (WinINet announces no more than its own buffer
    // as there, so the Windows side also takes what the body's recent pace
    // brings within a moment: a fast link is still read in large pieces.)
    // Counts, the end, failures and the stall time as for Read.
    int64_t ReadSome(void* buffer, size_t max);

    struct Native;

private:
    friend class xHttpConnection;
    xHttpRequest();
    // The platform's part of Send, Read and ReadSome.
    bool SendNow(const char* headers);
    int64_t ReadNow(void* buffer, size_t max);
    int64_t ReadSomeNow(void* buffer, size_t max);

    // The session's cap, which every read pays into.
    xByteRateCap* Cap = nullptr;
    std::unique_ptr<Native> Os;
};
