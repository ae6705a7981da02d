#pragma once

#include "xString.h"

#include <cstdint>
#include <string>
#include <vector>

// The real HTTP servers the download tests talk to: the project's dev server
// (with its fault switches, request record and statistics endpoint) and nginx,
// a server nobody here wrote, configured from nginx.conf.in beside this file.
// scripts/lib/peers.sh starts them (`bash scripts/lib/peers.sh run PROGRAM`, as
// scripts/test.sh does) and names them in the environment:
//   LAUNCHER_TEST_DEVSERVER=127.0.0.1:PORT  LAUNCHER_TEST_DEVSERVER_ROOT=/served/folder
//   LAUNCHER_TEST_STATS=127.0.0.1:PORT      LAUNCHER_TEST_STATS_LOG=/its/stats.log
//   LAUNCHER_TEST_NGINX=127.0.0.1:PORT      LAUNCHER_TEST_NGINX_ROOT=/served/folder
//   LAUNCHER_TEST_NGINX_LOG=/its/access.log (format below)
// A path given in POSIX form is reached through Wine's Z: drive on Windows.

enum class PeerKind
{
    DevServer,
    Nginx,
};

struct TestServer
{
    PeerKind Kind = PeerKind::DevServer;
    bool Available = false;
    // Why the server is not available, for the skip message.
    std::string Problem;
    uint16_t Port = 0;
    // The served folder in this process's path form, ending with "/".
    xWString Root;
    // nginx's access log, one line per request: "REQUEST|User-Agent|Accept|Range|Pragma"
    // (empty when nobody named it).
    xWString AccessLog;
    // The dev server's statistics endpoint and the file it appends the reports to.
    uint16_t StatsPort = 0;
    xWString StatsLog;

    // "http://127.0.0.1:PORT/"
    std::string BaseUrl() const;
};

// Looked up in the environment on first use.
TestServer& GetTestServer(PeerKind kind);
// The peers worth running a case against on this platform.
std::vector<PeerKind> PeersToTest();
const char* PeerName(PeerKind kind);

// GET of a path on a server through a session of the tests' own, bypassing
// caches. False when no 2xx answer came.
bool FetchControl(const TestServer& server, const std::string& pathAndQuery, std::string& body);
// Replaces the dev server's fault set ("" clears it), e.g. "drop-after=100&ignore-range=1".
bool SetDevServerFaults(const std::string& query);
// The dev server's record of requests ("METHOD TARGET VERSION[ Range: VALUE]",
// with `peer` then " peer PORT", the client's port), oldest first; emptied by `clear`.
std::vector<std::string> DevServerRequests(bool clear, bool peer = false);
// The body bytes the dev server has sent since the record was last cleared, in
// answers to GETs whose target ends with `pathEnd` (the record is not cleared).
uint64_t DevServerBytesSent(const std::string& pathEnd);

// Platform part: a path named in the environment as one this process can open.
xWString LocalPathFromEnvironment(const std::string& path);
// Makes "127.0.0.1:PORT" the system's HTTP proxy for sessions opened from now
// on (POSIX: http_proxy; Windows: the Internet settings in the registry); null
// removes it again.
void SetSystemProxy(const char* hostAndPort);

// Signed updates made by the native publisher (OpenSSL) with
// Support/make-signed-updates.sh, whose header describes the folder, named in
// LAUNCHER_TEST_SIGNED (peers.sh makes them).
struct SignedUpdates
{
    bool Available = false;
    std::string Problem;
    xWString Root; // ending with "/"
};
const SignedUpdates& GetSignedUpdates();
