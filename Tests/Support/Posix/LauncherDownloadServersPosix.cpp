#include "../LauncherDownloadServers.h"

#include "ChildProcess.h"
#include "FileBytes.h"
#include "TempFolder.h"

#include "xTextConversion.h"

#include <chrono>
#include <cstdlib>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace
{
// Removed when the test process ends, after the servers (made later) have stopped.
const TempFolder& ServerFolder(const char* name)
{
    static TempFolder folder("launcher-download-servers");
    std::filesystem::create_directories(folder.At(name));
    return folder;
}

// One served folder: the dev server and nginx serve the same files.
std::string ServedFolder()
{
    return ServerFolder("www").At("www").string();
}

bool CanConnect(uint16_t port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
    close(fd);
    return connected;
}

uint16_t FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    uint16_t port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

void Replace(std::string& text, const std::string& from, const std::string& to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
}
} // namespace

bool StartDevServerProcess(TestServer& server)
{
    static DevServerChild child;
    const std::string logs = ServerFolder("devserver").At("devserver").string();
    const std::string root = ServedFolder();
    child.StderrPath = logs + "/devserver.log";
    if (!StartDevServer(child, {"--root", root, "--stats-log", logs + "/stats.log", "--stats-port", "0"},
                        server.Problem))
        return false;
    server.Port = static_cast<uint16_t>(child.Port);
    server.Root = Utf8ToWide((root + "/").c_str());
    server.StatsPort = static_cast<uint16_t>(child.StatsPort);
    server.StatsLog = Utf8ToWide((logs + "/stats.log").c_str());
    return true;
}

bool StartNginxProcess(TestServer& server)
{
    static ChildProcess child;
    const std::string program = "/usr/sbin/nginx";
    const std::string prefix = ServerFolder("nginx").At("nginx").string();
    const std::string root = ServedFolder();
    const std::string config = ReadFileBytes(LAUNCHER_TEST_SUPPORT_DIR "/nginx.conf.in");
    if (access(program.c_str(), X_OK) != 0 || config.empty())
    {
        server.Problem = "no nginx (install nginx-light) or no " LAUNCHER_TEST_SUPPORT_DIR "/nginx.conf.in";
        return false;
    }
    // A free port can be taken by someone else before nginx binds it: try a few.
    for (int attempt = 0; attempt < 5; ++attempt)
    {
        const uint16_t port = FreePort();
        std::string text = config;
        Replace(text, "@PREFIX@", prefix);
        Replace(text, "@ROOT@", root);
        Replace(text, "@PORT@", std::to_string(port));
        WriteFileBytes(prefix + "/nginx.conf", text);
        if (!child.Start({program, "-p", prefix + "/", "-c", prefix + "/nginx.conf"}, prefix + "/stderr.log"))
            break;
        for (int wait = 0; wait < 50 && child.Running(); ++wait)
        {
            if (CanConnect(port))
            {
                server.Port = port;
                server.Root = Utf8ToWide((root + "/").c_str());
                server.AccessLog = Utf8ToWide((prefix + "/access.log").c_str());
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        child.Stop();
    }
    server.Problem = "nginx did not start; see " + prefix + "/error.log";
    return false;
}

xWString LocalPathFromEnvironment(const std::string& path)
{
    return Utf8ToWide(path.c_str());
}

void SetSystemProxy(const char* hostAndPort)
{
    if (hostAndPort != nullptr)
        setenv("http_proxy", (std::string("http://") + hostAndPort).c_str(), 1);
    else
        unsetenv("http_proxy");
}

bool MakeSignedUpdates(SignedUpdates& made)
{
    static TempFolder folder("launcher-signed-updates");
    const std::string publish = TestBinFolder() + "publish";
    if (access(publish.c_str(), X_OK) != 0)
    {
        made.Problem = "no publisher at " + publish + " (build the publish target)";
        return false;
    }
    ChildProcess script;
    const std::string log = folder.At("make.log").string();
    if (!script.Start({"/bin/bash", std::string(LAUNCHER_TEST_SUPPORT_DIR) + "/make-signed-updates.sh",
                       publish, folder.At("signed").string()},
                      log) ||
        script.Wait(60000) != 0)
    {
        made.Problem = "make-signed-updates.sh failed: " + ReadFileBytes(log);
        return false;
    }
    made.Root = Utf8ToWide((folder.At("signed").string() + "/").c_str());
    return true;
}
