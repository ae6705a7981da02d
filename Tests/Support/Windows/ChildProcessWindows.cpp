#include "../ChildProcess.h"

#include "xTextConversion.h"

#include <windows.h>

#include <chrono>
#include <string>
#include <thread>

namespace
{
// The exit code TerminateProcess gives, so that a kill tells itself apart from
// a child that ended on its own.
constexpr UINT KilledExitCode = 0x4B494C4C;

std::wstring WideOf(const std::string& text)
{
    const xWString wide = Utf8ToWide(text.c_str());
    return std::wstring(reinterpret_cast<const wchar_t*>(wide.c_str()), wide.Length());
}

// One argument as the C runtime's parser reads it back: quoted, with
// backslashes doubled only where a quote follows them.
std::wstring QuotedArgument(const std::wstring& argument)
{
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument)
    {
        if (c == L'\\')
        {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, L'\\');
    return quoted + L"\"";
}
} // namespace

std::string TestBinFolder()
{
    wchar_t self[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::string path = WideToUtf8(xWString(reinterpret_cast<const char16_t*>(self), length)).c_str();
    for (char& c : path)
        if (c == '\\')
            c = '/';
    return path.substr(0, path.rfind('/') + 1);
}

bool ChildProcess::Start(const std::vector<std::string>& arguments, const std::string& stderrPath)
{
    if (m_Process != nullptr || arguments.empty())
        return false;
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherited, 0))
        return false;
    // Only the child's end goes to the child.
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    HANDLE error = CreateFileW(WideOf(stderrPath).c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                               &inherited, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    std::wstring commandLine;
    for (const std::string& argument : arguments)
        commandLine += (commandLine.empty() ? L"" : L" ") + QuotedArgument(WideOf(argument));
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = nullptr;
    startup.hStdOutput = writeEnd;
    startup.hStdError = error != INVALID_HANDLE_VALUE ? error : writeEnd;
    PROCESS_INFORMATION started{};
    const BOOL ok = CreateProcessW(WideOf(arguments[0]).c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                   CREATE_NO_WINDOW, nullptr, nullptr, &startup, &started);
    CloseHandle(writeEnd);
    if (error != INVALID_HANDLE_VALUE)
        CloseHandle(error);
    if (!ok)
    {
        CloseHandle(readEnd);
        return false;
    }
    CloseHandle(started.hThread);
    m_Process = started.hProcess;
    m_Pipe = readEnd;
    m_Pid = static_cast<int>(started.dwProcessId);
    return true;
}

bool ChildProcess::ReadLine(std::string& line, int timeoutMs)
{
    line.clear();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;)
    {
        const size_t end = m_Pending.find('\n');
        if (end != std::string::npos)
        {
            line = m_Pending.substr(0, end);
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            m_Pending.erase(0, end + 1);
            return true;
        }
        DWORD available = 0;
        // A pipe whose writer has gone fails the peek: the child has ended.
        if (m_Pipe == nullptr || !PeekNamedPipe(m_Pipe, nullptr, 0, nullptr, &available, nullptr))
            return false;
        if (available > 0)
        {
            char buffer[4096];
            DWORD got = 0;
            if (!ReadFile(m_Pipe, buffer, available < sizeof buffer ? available : sizeof buffer, &got,
                          nullptr))
                return false;
            m_Pending.append(buffer, got);
            continue;
        }
        if (std::chrono::steady_clock::now() >= until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

bool ChildProcess::Running()
{
    return m_Process != nullptr && WaitForSingleObject(m_Process, 0) == WAIT_TIMEOUT;
}

int ChildProcess::Wait(int timeoutMs)
{
    if (m_Process == nullptr)
        return -1;
    if (WaitForSingleObject(m_Process, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0)
    {
        TerminateProcess(m_Process, KilledExitCode);
        WaitForSingleObject(m_Process, INFINITE);
    }
    DWORD code = 0;
    GetExitCodeProcess(m_Process, &code);
    CloseHandle(m_Process);
    CloseHandle(m_Pipe);
    m_Process = m_Pipe = nullptr;
    m_Pid = -1;
    m_Pending.clear();
    return code == KilledExitCode ? -1 : static_cast<int>(code);
}

int ChildProcess::Stop(int timeoutMs)
{
    if (m_Process != nullptr)
        TerminateProcess(m_Process, KilledExitCode);
    return Wait(timeoutMs);
}

bool ChildProcess::Kill()
{
    if (m_Process == nullptr)
        return false;
    // Fails when the process has already ended; its own exit code stays.
    TerminateProcess(m_Process, KilledExitCode);
    return Wait(5000) == -1;
}
