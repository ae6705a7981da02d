#include "xProcess.h"

#include "xStringOps.h"
#include "xWin32Text.h"

#include <windows.h>

namespace
{
HANDLE ToWin(intptr_t native)
{
    return reinterpret_cast<HANDLE>(native);
}
} // namespace

bool xProcessHandle::Wait(uint32_t timeoutMs, int* exitCode)
{
    if (!IsValid() || WaitForSingleObject(ToWin(Native), timeoutMs) != WAIT_OBJECT_0)
        return false;
    DWORD code = 0;
    if (!GetExitCodeProcess(ToWin(Native), &code))
        return false;
    if (exitCode != nullptr)
        *exitCode = static_cast<int>(code);
    return true;
}

void xProcessHandle::Terminate(uint32_t exitCode)
{
    if (IsValid())
        TerminateProcess(ToWin(Native), exitCode);
}

void xProcessHandle::Close()
{
    if (IsValid())
        CloseHandle(ToWin(Native));
    Native = 0;
}

xProcessHandle StartProcess(const xWString& executablePath, const xWString& arguments,
                            const xWString& currentDirectory, uint32_t* processId)
{
    if (processId != nullptr)
        *processId = 0;
    // CreateProcessW may write into the command line, so it gets its own copy.
    xWString commandLine = BuildCommandLine(executablePath, arguments);
    SECURITY_ATTRIBUTES processSecurity = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    SECURITY_ATTRIBUTES threadSecurity = {sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwX = startup.dwY = static_cast<DWORD>(CW_USEDEFAULT);
    startup.dwXSize = startup.dwYSize = static_cast<DWORD>(CW_USEDEFAULT);
    PROCESS_INFORMATION started = {};
    // Windows calls get the backslash form; an empty folder keeps ours.
    const xWString folderText = ReplaceAll(currentDirectory, u"/", u"\\");
    const wchar_t* folder = folderText.IsEmpty() ? nullptr : WinText(folderText);
    if (!CreateProcessW(nullptr, reinterpret_cast<wchar_t*>(commandLine.Data()), &processSecurity,
                        &threadSecurity, TRUE, DETACHED_PROCESS | NORMAL_PRIORITY_CLASS, nullptr, folder,
                        &startup, &started))
        return {};
    CloseHandle(started.hThread);
    if (processId != nullptr)
        *processId = started.dwProcessId;
    return xProcessHandle(reinterpret_cast<intptr_t>(started.hProcess));
}

xProcessHandle StartHeldProcess(const xFileHandle& program, const xWString& executablePath,
                                const xWString& arguments, const xWString& currentDirectory,
                                uint32_t* processId)
{
    // The held handle shares nothing but reading, so the path still names the
    // file it holds; the loader's open (read and execute) is compatible with it.
    if (program.GetOsHandle() == xInvalidOsHandle)
    {
        if (processId != nullptr)
            *processId = 0;
        return {};
    }
    return StartProcess(executablePath, arguments, currentDirectory, processId);
}

uint32_t CurrentProcessId()
{
    return GetCurrentProcessId();
}

bool WaitForProcessEnd(uint32_t processId, uint32_t timeoutMs)
{
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, processId);
    // No handle: the process has ended already (or never was).
    if (process == nullptr)
        return GetLastError() != ERROR_ACCESS_DENIED;
    const bool ended = WaitForSingleObject(process, timeoutMs) == WAIT_OBJECT_0;
    CloseHandle(process);
    return ended;
}
