#pragma once

// Starts the real devserver binary (beside the test executable in bin/) and
// talks to it over real sockets, byte for byte.

#include "FileBytes.h"
#include "TempFolder.h"

#include <cstdint>
#include <map>
#include <string>
#include <sys/types.h>
#include <vector>

// Writes a file under `folder` (folders created as needed) and returns its full path.
std::string WriteIn(const TempFolder& folder, const std::string& relative, const std::string& content);

struct ToolRun
{
    int ExitCode = -1;
    std::string Stdout;
    std::string Stderr;
};

// Runs devserver to its end (for option errors and --help).
ToolRun RunDevServer(const std::vector<std::string>& arguments);

class DevServerProcess
{
public:
    DevServerProcess() = default;
    ~DevServerProcess();
    DevServerProcess(const DevServerProcess&) = delete;
    DevServerProcess& operator=(const DevServerProcess&) = delete;

    // Adds "--port 0" and waits for the "listening on" line(s); false with
    // the server's stderr in error when it does not come up.
    bool Start(const std::vector<std::string>& arguments, std::string& error);
    // SIGTERM and wait; the exit code (-1 when it had to be killed).
    int Stop();

    int Port() const { return m_Port; }
    int StatsPort() const { return m_StatsPort; }
    pid_t Pid() const { return m_Pid; }
    std::string Stderr() const;

private:
    pid_t m_Pid = -1;
    int m_Port = 0;
    int m_StatsPort = 0;
    std::string m_StderrPath;
    TempFolder m_Scratch;
};

struct HttpResponse
{
    std::string StatusLine;
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

private:
    bool Fill(int timeoutMs); // one recv into m_Buffer; false on close, timeout or error
    int m_Socket = -1;
    std::string m_Buffer;
    bool m_PeerClosed = false;
};

// Sends one request on a fresh connection and reads one response.
HttpResponse Exchange(int port, const std::string& request, bool head = false, int timeoutMs = 5000);
