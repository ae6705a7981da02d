#pragma once

// A raw HTTP client for the dev server's tests: real sockets on 127.0.0.1,
// the exact bytes of each request and answer.

#include <map>
#include <string>

struct HttpResponse
{
    int Status = 0;
    std::multimap<std::string, std::string> Headers; // names in lower case
    std::string Body;
    bool ClosedAfter = false; // the server closed the connection after the body

    bool Has(const std::string& name) const { return Headers.count(name) != 0; }
    std::string Header(const std::string& name) const;
};

// One client connection on 127.0.0.1; several requests may share it.
class HttpConnection
{
public:
    explicit HttpConnection(int port);
    ~HttpConnection();
    bool Connected() const { return m_Socket >= 0; }
    bool Send(const std::string& bytes);
    // Reads the status line and headers, then the body: Content-Length bytes,
    // or everything up to the close when there is no length; none for HEAD.
    // False on a timeout or a close before the headers ended.
    bool Read(HttpResponse& response, bool head, int timeoutMs = 5000);
    // Reads up to count body bytes that follow already-read headers.
    std::string ReadSome(size_t count, int timeoutMs);
    // True when the server closes within the time, false when the connection stays silent and open.
    bool ClosedWithin(int timeoutMs, std::string* extra = nullptr);
    // errno of the receive that ended the connection (ECONNRESET for a reset), 0 for an orderly close.
    int LastError() const { return m_LastError; }

private:
    bool Fill(int timeoutMs); // one recv into m_Buffer; false on close, timeout or error
    int m_Socket = -1;
    std::string m_Buffer;
    bool m_PeerClosed = false;
    int m_LastError = 0;
};

// Sends one request on a fresh connection and reads one response; after a HEAD,
// whatever else arrives before the close lands in Body.
HttpResponse Exchange(int port, const std::string& request, bool head = false, int timeoutMs = 5000);
