#include "LauncherDownloadServers.h"

#include "FileBytes.h"

#include "xHttp.h"
#include "xPath.h"

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace
{
// "127.0.0.1:PORT" from the environment: the port, 0 when unset or malformed.
uint16_t PortFromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    unsigned port = 0;
    char end = 0;
    if (value == nullptr || std::sscanf(value, "127.0.0.1:%u%c", &port, &end) != 1 || port > 65535)
        return 0;
    return static_cast<uint16_t>(port);
}

xWString PathFromEnvironment(const char* name)
{
    const char* value = std::getenv(name);
    return value != nullptr && value[0] != 0 ? LocalPathFromEnvironment(value) : xWString();
}

// A server named by two variables; without them, the problem names them.
TestServer LookUp(PeerKind kind, const char* addressVariable, const char* rootVariable)
{
    TestServer server;
    server.Kind = kind;
    server.Port = PortFromEnvironment(addressVariable);
    server.Root = PathFromEnvironment(rootVariable);
    server.Available = server.Port != 0 && !server.Root.IsEmpty();
    if (server.Available)
        server.Root = AsDirectoryPath(server.Root);
    else
        server.Problem = std::string("set ") + addressVariable + "=127.0.0.1:PORT and " + rootVariable +
                         " (bash scripts/lib/peers.sh run PROGRAM starts the peers and sets them)";
    return server;
}

TestServer LookUpDevServer()
{
    TestServer server =
        LookUp(PeerKind::DevServer, "LAUNCHER_TEST_DEVSERVER", "LAUNCHER_TEST_DEVSERVER_ROOT");
    server.StatsPort = PortFromEnvironment("LAUNCHER_TEST_STATS");
    server.StatsLog = PathFromEnvironment("LAUNCHER_TEST_STATS_LOG");
    return server;
}

TestServer LookUpNginx()
{
    TestServer server = LookUp(PeerKind::Nginx, "LAUNCHER_TEST_NGINX", "LAUNCHER_TEST_NGINX_ROOT");
    server.AccessLog = PathFromEnvironment("LAUNCHER_TEST_NGINX_LOG");
    return server;
}
} // namespace

std::string TestServer::BaseUrl() const
{
    return "http://127.0.0.1:" + std::to_string(Port) + "/";
}

TestServer& GetTestServer(PeerKind kind)
{
    static TestServer devServer = LookUpDevServer();
    static TestServer nginx = LookUpNginx();
    return kind == PeerKind::DevServer ? devServer : nginx;
}

std::vector<PeerKind> PeersToTest()
{
    std::vector<PeerKind> peers{PeerKind::DevServer};
    if (GetTestServer(PeerKind::Nginx).Available)
        peers.push_back(PeerKind::Nginx);
    return peers;
}

const char* PeerName(PeerKind kind)
{
    return kind == PeerKind::DevServer ? "DevServer" : "Nginx";
}

bool FetchControl(const TestServer& server, const std::string& pathAndQuery, std::string& body)
{
    static std::unique_ptr<xHttpSession> session =
        xHttpSession::Open("LauncherTests", xHttpProxyMode::Direct);
    if (!session || !server.Available)
        return false;
    std::unique_ptr<xHttpConnection> connection = session->Connect("127.0.0.1", server.Port);
    if (!connection)
        return false;
    std::unique_ptr<xHttpRequest> request = connection->OpenRequest(
        "GET", pathAndQuery.c_str(), "HTTP/1.1", nullptr, xHttpFlagReload | xHttpFlagNoCacheWrite);
    if (!request || !request->Send(nullptr))
        return false;
    const int status = request->StatusCode();
    body.clear();
    char buffer[4096];
    int64_t got;
    while ((got = request->Read(buffer, sizeof(buffer))) > 0)
        body.append(buffer, static_cast<size_t>(got));
    return got == 0 && status >= 200 && status < 300;
}

bool SetDevServerFaults(const std::string& query)
{
    std::string body;
    return FetchControl(GetTestServer(PeerKind::DevServer), "/__devserver/faults?" + query, body);
}

uint64_t DevServerBytesSent(const std::string& pathEnd)
{
    std::string body;
    if (!FetchControl(GetTestServer(PeerKind::DevServer), "/__devserver/requests?bytes=1", body))
        return 0;
    uint64_t sum = 0;
    for (const std::string& line : SplitLines(body))
    {
        // "GET TARGET VERSION[ Range: VALUE] bytes N"
        const size_t target = line.find(' ');
        const size_t targetEnd = line.find(' ', target + 1);
        const size_t bytes = line.rfind(" bytes ");
        if (line.rfind("GET ", 0) != 0 || targetEnd == std::string::npos || bytes == std::string::npos)
            continue;
        const std::string path = line.substr(target + 1, targetEnd - target - 1);
        if (path.size() >= pathEnd.size() &&
            path.compare(path.size() - pathEnd.size(), pathEnd.size(), pathEnd) == 0)
            sum += std::stoull(line.substr(bytes + 7));
    }
    return sum;
}

std::vector<std::string> DevServerRequests(bool clear, bool peer)
{
    std::vector<std::string> lines;
    std::string body;
    const std::string query =
        std::string("/__devserver/requests?clear=") + (clear ? "1" : "0") + (peer ? "&peer=1" : "");
    if (!FetchControl(GetTestServer(PeerKind::DevServer), query, body))
        return lines;
    for (const std::string& line : SplitLines(body))
    {
        // The record does not list the calls that read it.
        if (!line.empty() && line.find("/__devserver/") == std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

const SignedUpdates& GetSignedUpdates()
{
    static const SignedUpdates made = []
    {
        SignedUpdates updates;
        updates.Root = PathFromEnvironment("LAUNCHER_TEST_SIGNED");
        updates.Available = !updates.Root.IsEmpty();
        if (updates.Available)
            updates.Root = AsDirectoryPath(updates.Root);
        else
            updates.Problem = "set LAUNCHER_TEST_SIGNED (bash scripts/lib/peers.sh run PROGRAM makes them)";
        return updates;
    }();
    return made;
}
