#include "xProcess.h"
#include "Posix/xProcessPosix.h"

#include "xPath.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <vector>
#include <unistd.h>

extern char** environ;

namespace
{
// Keeps the spawn records' clean-up in one place whatever path StartProcess takes.
struct SpawnSetup
{
    SpawnSetup()
    {
        posix_spawn_file_actions_init(&Actions);
        posix_spawnattr_init(&Attributes);
    }
    ~SpawnSetup()
    {
        posix_spawnattr_destroy(&Attributes);
        posix_spawn_file_actions_destroy(&Actions);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    posix_spawn_file_actions_t Actions;
    posix_spawnattr_t Attributes;
};

// The child changes folder before it loads the executable, so a relative path
// is made absolute against our own folder first, as CreateProcess reads it.
xString AbsoluteExecutable(const xString& path)
{
    if (path.IsEmpty() || path[0] == '/')
        return path;
    char folder[4096];
    if (getcwd(folder, sizeof folder) == nullptr)
        return path;
    return JoinPath(xString(folder), path);
}

int ExitCodeOf(int status)
{
    if (WIFSIGNALED(status))
        return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}
} // namespace

bool xProcessHandle::Wait(uint32_t timeoutMs, int* exitCode)
{
    if (!IsValid())
        return false;
    // waitpid has no timeout; a short poll is plenty for the few waits we make.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!Ended)
    {
        int status = 0;
        const pid_t result = waitpid(static_cast<pid_t>(Native), &status, WNOHANG);
        if (result == static_cast<pid_t>(Native))
        {
            Ended = true;
            ExitCode = ExitCodeOf(status);
            break;
        }
        if ((result < 0 && errno != EINTR) || std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (exitCode != nullptr)
        *exitCode = ExitCode;
    return true;
}

void xProcessHandle::Terminate(uint32_t)
{
    if (IsValid() && !Ended)
        kill(static_cast<pid_t>(Native), SIGKILL);
}

void xProcessHandle::Close()
{
    // A child that has already ended is collected now so it does not linger as a
    // zombie; one still running is left to run.
    if (IsValid() && !Ended)
    {
        int status = 0;
        waitpid(static_cast<pid_t>(Native), &status, WNOHANG);
    }
    Native = 0;
    Ended = false;
    ExitCode = 0;
}

namespace
{
// posix_spawn of `file` with argv[0] = `executable`, the arguments split as a
// command line, in `currentDirectory` (ours when empty).
xProcessHandle Spawn(const char* file, const xString& executable, const xWString& arguments,
                     const xWString& currentDirectory, uint32_t* processId,
                     char* const* environment = environ)
{
    if (processId != nullptr)
        *processId = 0;
    std::vector<xString> pieces = SplitArguments(xString(arguments));
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(executable.c_str()));
    for (xString& piece : pieces)
        argv.push_back(piece.Data());
    argv.push_back(nullptr);

    SpawnSetup setup;
    const xString folder(currentDirectory);
    if (!folder.IsEmpty() && posix_spawn_file_actions_addchdir_np(&setup.Actions, folder.c_str()) != 0)
        return {};
    // The child starts with no signal blocked, whatever the starting thread had blocked.
    sigset_t noSignals;
    sigemptyset(&noSignals);
    posix_spawnattr_setsigmask(&setup.Attributes, &noSignals);
    posix_spawnattr_setflags(&setup.Attributes, POSIX_SPAWN_SETSIGMASK);

    pid_t child = 0;
    if (posix_spawn(&child, file, &setup.Actions, &setup.Attributes, argv.data(), environment) != 0)
        return {};
    if (processId != nullptr)
        *processId = static_cast<uint32_t>(child);
    return xProcessHandle(static_cast<intptr_t>(child));
}
} // namespace

xProcessHandle StartProcess(const xWString& executablePath, const xWString& arguments,
                            const xWString& currentDirectory, uint32_t* processId)
{
    const xString executable = AbsoluteExecutable(xString(executablePath));
    return Spawn(executable.c_str(), executable, arguments, currentDirectory, processId);
}

xProcessHandle StartProcessWithVariable(const xWString& executablePath, const xWString& arguments,
                                        const std::string& name, const std::string& value)
{
    // Our environment with the variable set, for the child alone: changing our
    // own would race with the other threads reading it.
    std::vector<std::string> entries;
    for (char** entry = environ; *entry != nullptr; ++entry)
        if (std::string(*entry).rfind(name + "=", 0) != 0)
            entries.emplace_back(*entry);
    entries.push_back(name + "=" + value);
    std::vector<char*> environment;
    for (std::string& entry : entries)
        environment.push_back(entry.data());
    environment.push_back(nullptr);
    const xString executable = AbsoluteExecutable(xString(executablePath));
    return Spawn(executable.c_str(), executable, arguments, xWString(), nullptr, environment.data());
}

xProcessHandle StartHeldProcess(const xFileHandle& program, const xWString& executablePath,
                                const xWString& arguments, const xWString& currentDirectory,
                                uint32_t* processId)
{
    // The child inherits the descriptor until its exec (which then closes it,
    // close-on-exec), and execs through its own /proc/self/fd entry: the kernel
    // loads the open file, whatever the path names by now. Its /proc/self/exe
    // is that file's path, so the program still finds itself by name.
    const xOsHandle fd = program.GetOsHandle();
    if (fd == xInvalidOsHandle)
    {
        if (processId != nullptr)
            *processId = 0;
        return {};
    }
    const std::string held = "/proc/self/fd/" + std::to_string(fd);
    return Spawn(held.c_str(), AbsoluteExecutable(xString(executablePath)), arguments, currentDirectory,
                 processId);
}

uint32_t CurrentProcessId()
{
    return static_cast<uint32_t>(getpid());
}

bool WaitForProcessEnd(uint32_t processId, uint32_t timeoutMs)
{
    // Not our child, so nothing to wait on: look for it until it is gone.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        if (processId == 0 || (kill(static_cast<pid_t>(processId), 0) != 0 && errno == ESRCH))
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}
