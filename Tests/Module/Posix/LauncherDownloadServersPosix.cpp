#include "../LauncherDownloadServers.h"

#include "xFileSystem.h"
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{
// Children of the test process, ended (and their folders removed) when it ends.
struct Children
{
    std::vector<pid_t> Pids;
    std::vector<std::string> Folders;
    ~Children()
    {
        for (pid_t pid : Pids)
        {
            kill(pid, SIGTERM);
            waitpid(pid, nullptr, 0);
        }
        xFileSystem files;
        for (const std::string& folder : Folders)
            files.DeleteDirectory(Utf8ToWide(folder.c_str()));
    }
};

Children& Started()
{
    static Children children;
    return children;
}

std::string MakeFolder(const char* pattern)
{
    std::string path = std::string("/tmp/") + pattern + ".XXXXXX";
    if (mkdtemp(path.data()) == nullptr)
        return std::string();
    // Readable by a server that drops to another user.
    chmod(path.c_str(), 0755);
    Started().Folders.push_back(path);
    return path;
}

// One shared served folder: the dev server and nginx serve the same files.
const std::string& ServedFolder()
{
    static const std::string folder = MakeFolder("launcher-download-www");
    return folder;
}

// Forked rather than posix_spawn'ed so the child can ask to be ended with its
// parent: a crashed test run must not leave servers behind.
pid_t Spawn(const std::vector<std::string>& arguments, int stdoutFd, const std::string& stderrPath)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int stderrFd = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0)
    {
        // Only async-signal-safe calls between fork and exec.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        if (stdoutFd >= 0)
            dup2(stdoutFd, STDOUT_FILENO);
        if (stderrFd >= 0)
            dup2(stderrFd, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    if (stderrFd >= 0)
        close(stderrFd);
    if (pid < 0)
        return 0;
    Started().Pids.push_back(pid);
    return pid;
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

// The first line the child writes, waiting at most `seconds`.
std::string FirstLine(int fd, int seconds)
{
    std::string line;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
    while (std::chrono::steady_clock::now() < until)
    {
        pollfd wait{fd, POLLIN, 0};
        if (poll(&wait, 1, 200) <= 0)
            continue;
        char c = 0;
        if (read(fd, &c, 1) != 1)
            break;
        if (c == '\n')
            return line;
        line += c;
    }
    return line;
}
} // namespace

bool StartDevServerProcess(TestServer& server)
{
    const std::string program = std::string(WideToUtf8(GetModuleDirectory()).c_str()) + "devserver";
    if (access(program.c_str(), X_OK) != 0)
    {
        server.Problem = "no dev server at " + program + " (build the devserver target)";
        return false;
    }
    const std::string root = ServedFolder();
    const std::string logFolder = MakeFolder("launcher-devserver-log");
    int pipeFds[2];
    if (root.empty() || logFolder.empty() || pipe2(pipeFds, O_CLOEXEC) != 0)
    {
        server.Problem = "cannot make the dev server's folders";
        return false;
    }
    const pid_t pid =
        Spawn({program, "--root", root, "--port", "0"}, pipeFds[1], logFolder + "/devserver.log");
    close(pipeFds[1]);
    const std::string line = pid != 0 ? FirstLine(pipeFds[0], 10) : std::string();
    // The dev server writes nothing more to stdout; keep the pipe open so it never sees a broken one.
    const std::string prefix = "listening on 127.0.0.1:";
    if (line.compare(0, prefix.size(), prefix) != 0)
    {
        server.Problem = "the dev server did not start (first line \"" + line + "\")";
        return false;
    }
    server.Port = static_cast<uint16_t>(std::atoi(line.c_str() + prefix.size()));
    server.Root = Utf8ToWide((root + "/").c_str());
    return server.Port != 0;
}

bool StartNginxProcess(TestServer& server)
{
    const char* program = "/usr/sbin/nginx";
    if (access(program, X_OK) != 0)
    {
        server.Problem = "no nginx (install nginx-light)";
        return false;
    }
    const std::string root = ServedFolder();
    const std::string prefix = MakeFolder("launcher-nginx");
    if (root.empty() || prefix.empty())
    {
        server.Problem = "cannot make nginx's folders";
        return false;
    }
    // A free port can be taken by someone else before nginx binds it: try a few.
    for (int attempt = 0; attempt < 5; ++attempt)
    {
        const uint16_t port = FreePort();
        std::ofstream config(prefix + "/nginx.conf", std::ios::trunc);
        config << "master_process off;\ndaemon off;\n"
               << "error_log " << prefix << "/error.log;\npid " << prefix << "/nginx.pid;\n"
               << "events { worker_connections 64; }\n"
               << "http {\n"
               << "  log_format peer '$request|$http_user_agent|$http_accept|$http_range|$http_pragma';\n"
               << "  access_log " << prefix << "/access.log peer;\n"
               << "  client_body_temp_path " << prefix << "/body;\n  proxy_temp_path " << prefix
               << "/proxy;\n"
               << "  fastcgi_temp_path " << prefix << "/fastcgi;\n  uwsgi_temp_path " << prefix << "/uwsgi;\n"
               << "  scgi_temp_path " << prefix << "/scgi;\n"
               << "  default_type application/octet-stream;\n  sendfile on;\n"
               << "  server {\n    listen 127.0.0.1:" << port << ";\n    root " << root
               << ";\n"
               // HEAD finds the file, GET gets an error page of the file's length: a
               // server whose GET fails after a good HEAD.
               << "    location /get-fails/ { if ($request_method = GET) { return 500 \"error page\"; } }\n"
               << "  }\n}\n";
        config.close();
        const pid_t pid =
            Spawn({program, "-p", prefix + "/", "-c", prefix + "/nginx.conf"}, -1, prefix + "/stderr.log");
        if (pid == 0)
            break;
        for (int wait = 0; wait < 50; ++wait)
        {
            if (CanConnect(port))
            {
                server.Port = port;
                server.Root = Utf8ToWide((root + "/").c_str());
                server.AccessLog = Utf8ToWide((prefix + "/access.log").c_str());
                return true;
            }
            if (waitpid(pid, nullptr, WNOHANG) == pid)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
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
