#pragma once

// The programs tests start (the dev server and the publisher natively; the
// update child on both systems), from bin/ beside the test executable: stdout
// on a pipe, stderr in a file. A native child gets SIGTERM when its object
// goes, or when the test process dies first; a Windows child is terminated.
// RunTool and StartDevServer are native only.

#include <string>
#include <vector>

// The test executable's folder, ending with "/".
std::string TestBinFolder();

class ChildProcess
{
public:
    ChildProcess() = default;
    ~ChildProcess() { Stop(); }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // arguments[0] is the program's path.
    bool Start(const std::vector<std::string>& arguments, const std::string& stderrPath);
    // The next stdout line, without its line feed; false at the end or after timeoutMs.
    bool ReadLine(std::string& line, int timeoutMs);
    bool Running();
    // The exit code once it has ended (killed after timeoutMs); -1 when ended by a signal.
    int Wait(int timeoutMs);
    // SIGTERM (Windows: TerminateProcess), then Wait.
    int Stop(int timeoutMs = 5000);
    // Ends the child at once, as a crash or the task manager would (SIGKILL;
    // TerminateProcess on Windows), and collects it. True when it was still
    // running, so the kill cut it short.
    bool Kill();
    int Pid() const { return m_Pid; }

private:
    int m_Pid = -1;
#if defined(_WIN32)
    // The process and the pipe's read end.
    void* m_Process = nullptr;
    void* m_Pipe = nullptr;
#else
    int m_Stdout = -1;
#endif
    // What arrived of a line that a ReadLine ran out of time on.
    std::string m_Pending;
};

struct ToolRun
{
    int ExitCode = -1;
    std::string Stdout;
    std::string Stderr;
};

// Runs a program from bin/ to its end.
ToolRun RunTool(const std::string& program, const std::vector<std::string>& arguments);

// bin/devserver with "--port 0" added, up once it has named its port(s).
struct DevServerChild
{
    ChildProcess Process;
    int Port = 0;
    int StatsPort = 0;      // with --stats-log
    std::string StderrPath; // where its stderr goes: set it before the start
};

// False with the reason (and the server's stderr) in `error` when it does not come up.
bool StartDevServer(DevServerChild& server, const std::vector<std::string>& arguments, std::string& error);
