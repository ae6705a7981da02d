#include "DevServerHarness.h"

#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sstream>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace
{
std::string DevServerPath()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string path(self, length > 0 ? static_cast<size_t>(length) : 0);
    return path.substr(0, path.rfind('/') + 1) + "devserver";
}

// fork + exec with stdout to a pipe and stderr to a file.
pid_t Launch(const std::vector<std::string>& arguments, const std::string& stderrPath, int& stdoutRead)
{
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0)
        return -1;
    const std::string program = DevServerPath();
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const pid_t pid = fork();
    if (pid == 0)
    {
        const int error = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(pipeEnds[1], 1);
        dup2(error, 2);
        execv(program.c_str(), argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    stdoutRead = pipeEnds[0];
    return pid;
}

int WaitExit(pid_t pid, int timeoutMs)
{
    for (int waited = 0; waited < timeoutMs; waited += 10)
    {
        int status = 0;
        if (waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
    return -1;
}

// One line from a descriptor, waiting at most timeoutMs in all.
bool ReadLine(int descriptor, std::string& line, int timeoutMs)
{
    line.clear();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd entry{descriptor, POLLIN, 0};
        if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0)
            return false;
        char c;
        if (read(descriptor, &c, 1) != 1)
            return false;
        if (c == '\n')
            return true;
        line += c;
    }
}

int PortOf(const std::string& line, const std::string& prefix)
{
    if (line.compare(0, prefix.size(), prefix) != 0)
        return 0;
    return std::atoi(line.c_str() + line.rfind(':') + 1);
}
} // namespace

std::string WriteIn(const TempFolder& folder, const std::string& relative, const std::string& content)
{
    WriteFileBytes(folder.At(relative), content);
    return folder.At(relative).string();
}

ToolRun RunDevServer(const std::vector<std::string>& arguments)
{
    TempFolder scratch;
    ToolRun run;
    int output = -1;
    const pid_t pid = Launch(arguments, (scratch.Path / "stderr").string(), output);
    std::string line;
    while (ReadLine(output, line, 5000))
        run.Stdout += line + "\n";
    close(output);
    run.ExitCode = WaitExit(pid, 5000);
    run.Stderr = ReadFileBytes((scratch.Path / "stderr").string());
    return run;
}

DevServerProcess::~DevServerProcess()
{
    Stop();
}

bool DevServerProcess::Start(const std::vector<std::string>& arguments, std::string& error)
{
    std::vector<std::string> all = arguments;
    all.insert(all.end(), {"--port", "0"});
    bool stats = false;
    for (const std::string& argument : arguments)
        stats = stats || argument == "--stats-log";
    m_StderrPath = (m_Scratch.Path / "stderr").string();
    int output = -1;
    m_Pid = Launch(all, m_StderrPath, output);
    std::string line;
    if (ReadLine(output, line, 10000))
        m_Port = PortOf(line, "listening on ");
    if (stats && ReadLine(output, line, 5000))
        m_StatsPort = PortOf(line, "stats listening on ");
    close(output);
    if (m_Port == 0 || (stats && m_StatsPort == 0))
    {
        const int code = Stop();
        error = "devserver did not start (exit " + std::to_string(code) + "): " + Stderr();
        return false;
    }
    return true;
}

int DevServerProcess::Stop()
{
    if (m_Pid <= 0)
        return -1;
    kill(m_Pid, SIGTERM);
    const int code = WaitExit(m_Pid, 5000);
    m_Pid = -1;
    return code;
}

std::string DevServerProcess::Stderr() const
{
    return ReadFileBytes(m_StderrPath);
}

std::string HttpResponse::Header(const std::string& name) const
{
    const auto found = Headers.find(name);
    return found == Headers.end() ? std::string() : found->second;
}

HttpConnection::HttpConnection(int port)
{
    m_Socket = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(m_Socket, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
    {
        close(m_Socket);
        m_Socket = -1;
    }
}

HttpConnection::~HttpConnection()
{
    if (m_Socket >= 0)
        close(m_Socket);
}

bool HttpConnection::Send(const std::string& bytes)
{
    return send(m_Socket, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool HttpConnection::Fill(int timeoutMs)
{
    if (m_PeerClosed)
        return false;
    pollfd entry{m_Socket, POLLIN, 0};
    if (poll(&entry, 1, timeoutMs) <= 0)
        return false;
    char chunk[65536];
    const ssize_t got = recv(m_Socket, chunk, sizeof chunk, 0);
    if (got <= 0)
    {
        m_PeerClosed = true;
        return false;
    }
    m_Buffer.append(chunk, static_cast<size_t>(got));
    return true;
}

bool HttpConnection::Read(HttpResponse& response, bool head, int timeoutMs)
{
    response = HttpResponse();
    size_t end;
    while ((end = m_Buffer.find("\r\n\r\n")) == std::string::npos)
    {
        if (!Fill(timeoutMs))
            return false;
    }
    std::istringstream lines(m_Buffer.substr(0, end + 2));
    m_Buffer.erase(0, end + 4);
    std::string line;
    std::getline(lines, line);
    response.StatusLine = line.substr(0, line.size() - 1);
    response.Status = std::atoi(response.StatusLine.c_str() + response.StatusLine.find(' ') + 1);
    while (std::getline(lines, line) && line.size() > 1)
    {
        const size_t colon = line.find(':');
        std::string name = line.substr(0, colon);
        for (char& c : name)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        const size_t valueStart = line.find_first_not_of(' ', colon + 1);
        response.Headers.emplace(name, line.substr(valueStart, line.size() - 1 - valueStart));
    }
    if (!head)
    {
        if (response.Has("content-length"))
        {
            const size_t length = std::strtoull(response.Header("content-length").c_str(), nullptr, 10);
            while (m_Buffer.size() < length && Fill(timeoutMs))
            {
            }
            response.Body = m_Buffer.substr(0, length);
            m_Buffer.erase(0, response.Body.size());
        }
        else
        {
            while (Fill(timeoutMs))
            {
            }
            response.Body.swap(m_Buffer);
        }
    }
    response.ClosedAfter = m_PeerClosed;
    return true;
}

std::string HttpConnection::ReadSome(size_t count, int timeoutMs)
{
    while (m_Buffer.size() < count && Fill(timeoutMs))
    {
    }
    std::string taken = m_Buffer.substr(0, count);
    m_Buffer.erase(0, taken.size());
    return taken;
}

bool HttpConnection::ClosedWithin(int timeoutMs, std::string* extra)
{
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!m_PeerClosed && std::chrono::steady_clock::now() < until)
        Fill(20);
    if (extra)
        extra->swap(m_Buffer);
    return m_PeerClosed;
}

HttpResponse Exchange(int port, const std::string& request, bool head, int timeoutMs)
{
    HttpConnection connection(port);
    HttpResponse response;
    if (connection.Send(request) && connection.Read(response, head, timeoutMs))
        // A keep-alive answer is not waited on; one that announces the close must close.
        response.ClosedAfter = connection.ClosedWithin(response.Header("connection") == "close" ? 2000 : 0);
    return response;
}
