#include "../ChildProcess.h"

#include "FileBytes.h"
#include "TempFolder.h"

#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

std::string TestBinFolder()
{
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    const std::string path(self, length > 0 ? static_cast<size_t>(length) : 0);
    return path.substr(0, path.rfind('/') + 1);
}

bool ChildProcess::Start(const std::vector<std::string>& arguments, const std::string& stderrPath)
{
    int pipeEnds[2];
    if (m_Pid > 0 || pipe2(pipeEnds, O_CLOEXEC) != 0)
        return false;
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    const int error = open(stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t parent = getpid();
    const pid_t pid = fork();
    if (pid == 0)
    {
        // Only async-signal-safe calls between fork and exec; a crashed test run
        // must not leave servers behind.
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(127);
        dup2(pipeEnds[1], STDOUT_FILENO);
        if (error >= 0)
            dup2(error, STDERR_FILENO);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(pipeEnds[1]);
    if (error >= 0)
        close(error);
    m_Stdout = pipeEnds[0];
    m_Pid = pid > 0 ? pid : -1;
    return m_Pid > 0;
}

bool ChildProcess::ReadLine(std::string& line, int timeoutMs)
{
    line.clear();
    std::string& pending = m_Pending;
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now());
        pollfd entry{m_Stdout, POLLIN, 0};
        char c;
        if (left.count() <= 0 || poll(&entry, 1, static_cast<int>(left.count())) <= 0 ||
            read(m_Stdout, &c, 1) != 1)
            return false;
        if (c == '\n')
        {
            line.swap(pending);
            pending.clear();
            return true;
        }
        pending += c;
    }
}

bool ChildProcess::Running()
{
    // WNOWAIT leaves the exit status for Wait.
    siginfo_t info{};
    return m_Pid > 0 && waitid(P_PID, static_cast<id_t>(m_Pid), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           info.si_pid == 0;
}

int ChildProcess::Wait(int timeoutMs)
{
    int status = 0;
    for (int waited = 0; m_Pid > 0 && waitpid(m_Pid, &status, WNOHANG) == 0; waited += 10)
    {
        if (waited >= timeoutMs)
        {
            kill(m_Pid, SIGKILL);
            waitpid(m_Pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (m_Stdout >= 0)
        close(m_Stdout);
    const bool ran = m_Pid > 0;
    m_Pid = m_Stdout = -1;
    m_Pending.clear();
    return ran && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool ChildProcess::Kill()
{
    if (m_Pid <= 0)
        return false;
    kill(m_Pid, SIGKILL);
    int status = 0;
    waitpid(m_Pid, &status, 0);
    // Ended by our signal, not on its own just before it.
    const bool cut = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    if (m_Stdout >= 0)
        close(m_Stdout);
    m_Pid = m_Stdout = -1;
    m_Pending.clear();
    return cut;
}

int ChildProcess::Stop(int timeoutMs)
{
    if (m_Pid > 0)
        kill(m_Pid, SIGTERM);
    return Wait(timeoutMs);
}

ToolRun RunTool(const std::string& program, const std::vector<std::string>& arguments)
{
    TempFolder scratch;
    std::vector<std::string> all{TestBinFolder() + program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    ChildProcess child;
    ToolRun run;
    if (!child.Start(all, scratch.At("stderr").string()))
        return run;
    for (std::string line; child.ReadLine(line, 10000);)
        run.Stdout += line + "\n";
    run.ExitCode = child.Wait(10000);
    run.Stderr = ReadFileBytes(scratch.At("stderr"));
    return run;
}

bool StartDevServer(DevServerChild& server, const std::vector<std::string>& arguments, std::string& error)
{
    std::vector<std::string> all{TestBinFolder() + "devserver", "--port", "0"};
    all.insert(all.end(), arguments.begin(), arguments.end());
    bool stats = false;
    for (const std::string& argument : arguments)
        stats = stats || argument == "--stats-log";
    std::string line;
    if (access(all[0].c_str(), X_OK) != 0)
        error = "no dev server at " + all[0] + " (build the devserver target)";
    else if (!server.Process.Start(all, server.StderrPath) || !server.Process.ReadLine(line, 10000) ||
             std::sscanf(line.c_str(), "listening on 127.0.0.1:%d", &server.Port) != 1 ||
             (stats &&
              (!server.Process.ReadLine(line, 5000) ||
               std::sscanf(line.c_str(), "stats listening on 127.0.0.1:%d", &server.StatsPort) != 1)))
        error = "the dev server did not start (exit " + std::to_string(server.Process.Stop()) +
                "): " + ReadFileBytes(server.StderrPath);
    // Its stdout pipe stays open: the server never sees a broken one.
    return error.empty();
}
