#pragma once

#include "xFileHandle.h"
#include "xString.h"

#include <cstdint>
#include <vector>

// An owned handle of a started process (Windows: the process handle; POSIX:
// the child's id). Closing it lets go of the process without ending it.
class xProcessHandle
{
public:
    xProcessHandle() = default;
    explicit xProcessHandle(intptr_t native) : Native(native) {}
    ~xProcessHandle() { Close(); }
    xProcessHandle(xProcessHandle&& other) noexcept;
    xProcessHandle& operator=(xProcessHandle&& other) noexcept;
    xProcessHandle(const xProcessHandle&) = delete;
    xProcessHandle& operator=(const xProcessHandle&) = delete;

    bool IsValid() const { return Native != 0; }
    explicit operator bool() const { return IsValid(); }
    intptr_t GetNative() const { return Native; }

    // Waits at most `timeoutMs` for the process to end. True once it has ended;
    // `exitCode` (when given) then holds its exit code (POSIX: 128 + the signal
    // for a process ended by a signal).
    bool Wait(uint32_t timeoutMs, int* exitCode = nullptr);
    // Ends the process at once (exit code `exitCode` where the system sets one).
    void Terminate(uint32_t exitCode);
    void Close();

private:
    intptr_t Native = 0;
    // A POSIX child can be collected only once; its result is kept here.
    bool Ended = false;
    int ExitCode = 0;
};

// Starts `executablePath` with `arguments` (one text, passed on unchanged) in
// `currentDirectory` (the caller's own when empty). On failure the handle is
// null and `*processId` (when given) is 0; nothing is logged, callers do that.
xProcessHandle StartProcess(const xWString& executablePath, const xWString& arguments,
                            const xWString& currentDirectory, uint32_t* processId);

// Starts the program that `program` holds open (xFileSystem::OpenProgram of
// `executablePath`), as StartProcess does: what runs is the file checked
// through that handle, which the caller keeps open until this returns. Windows
// starts it by its path, which the held handle keeps from changing; POSIX
// starts the open file itself.
xProcessHandle StartHeldProcess(const xFileHandle& program, const xWString& executablePath,
                                const xWString& arguments, const xWString& currentDirectory,
                                uint32_t* processId);

// This process's id.
uint32_t CurrentProcessId();

// Waits at most `timeoutMs` for the process `processId` (not necessarily our
// child) to end. True once it has ended or when no such process runs.
bool WaitForProcessEnd(uint32_t processId, uint32_t timeoutMs);

// The Windows command line: the executable in double quotes, one blank, then
// the argument text unchanged.
xWString BuildCommandLine(const xWString& executablePath, const xWString& arguments);

// The argument text cut into arguments the way a command line is read: blanks
// (space, tab) separate, double quotes group and are removed, so "a b" is one
// argument and "" an empty one.
std::vector<xString> SplitArguments(const xString& arguments);
