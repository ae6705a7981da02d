#include "xThread.h"

#include "xTextConversion.h"
#include "Windows/xWin32Text.h"

#include <windows.h>

struct xThread::Native
{
    HANDLE Handle = nullptr;
};

// Runs the new thread; a friend so that it may reach the private parts.
struct xThreadEntry
{
    static DWORD WINAPI Main(LPVOID argument)
    {
        xThread* thread = static_cast<xThread*>(argument);
        thread->ThreadId = GetCurrentThreadId();
        return static_cast<DWORD>(thread->ThreadMain());
    }
};

namespace
{
// The exception code and record that Visual Studio-style debuggers read a thread
// name from (MinGW's headers have no THREADNAME_INFO).
constexpr DWORD DebuggerThreadNameException = 0x406D1388;

#pragma pack(push, 8)
struct ThreadNameInfo
{
    DWORD Type; // 0x1000
    LPCSTR Name;
    DWORD ThreadId;
    DWORD Flags;
};
#pragma pack(pop)

LONG CALLBACK SwallowThreadNameException(EXCEPTION_POINTERS* exception)
{
    return exception->ExceptionRecord->ExceptionCode == DebuggerThreadNameException
               ? EXCEPTION_CONTINUE_EXECUTION
               : EXCEPTION_CONTINUE_SEARCH;
}

// The slot for the current xThread, allocated before any thread needs it.
DWORD CurrentThreadSlot()
{
    static const DWORD slot = TlsAlloc();
    return slot;
}

// Names the thread for debuggers and crash dumps. SetThreadDescription (Windows
// 10 1607 and later, looked up because older systems lack it) is the modern way.
// The old way is an exception the debugger catches; MinGW has no __try, so a
// vectored handler swallows the exception should the debugger pass it on, and
// without a debugger it is not raised at all: then nobody would read it.
void NameForDebugger(HANDLE thread, DWORD threadId, const xWString& name)
{
    using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);
    static const auto setThreadDescription =
        reinterpret_cast<SetThreadDescriptionFunction>(reinterpret_cast<void (*)()>(
            GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (setThreadDescription != nullptr)
        setThreadDescription(thread, WinText(name));

    if (!IsDebuggerPresent())
        return;
    static PVOID const handler = AddVectoredExceptionHandler(1, SwallowThreadNameException);
    if (handler == nullptr)
        return;
    // Gives the debugger time to register the new thread before it hears its name.
    Sleep(10);
    const xString utf8 = WideToUtf8(name);
    ThreadNameInfo info = {0x1000, utf8.c_str(), threadId, 0};
    RaiseException(DebuggerThreadNameException, 0, sizeof info / sizeof(ULONG_PTR),
                   reinterpret_cast<const ULONG_PTR*>(&info));
}
} // namespace

bool xThread::Start(xRunnable* runnable, const char16_t* name, uint32_t stackSize, int priority)
{
    if (runnable == nullptr || Os != nullptr)
        return false;
    // Everything the thread may read is in place before it exists.
    Runnable = runnable;
    Name = name != nullptr ? xWString(name) : xWString(DefaultName);
    HANDLE started = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    if (started == nullptr)
    {
        Runnable = nullptr;
        return false;
    }
    StartSignal = started;

    HANDLE handle = CreateThread(nullptr, stackSize, xThreadEntry::Main, this,
                                 STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (handle == nullptr)
    {
        StartSignal = nullptr;
        CloseHandle(started);
        Runnable = nullptr;
        return false;
    }
    Os = new Native{handle};

    // The thread signals only after Init succeeded; a failed Init ends the thread
    // instead, and its handle wakes us.
    const HANDLE waitFor[2] = {started, handle};
    const DWORD woken = WaitForMultipleObjects(2, waitFor, FALSE, INFINITE);
    StartSignal = nullptr;
    CloseHandle(started);
    if (woken != WAIT_OBJECT_0)
    {
        ReleaseHandle();
        Runnable = nullptr;
        return false;
    }

    NameForDebugger(handle, ThreadId, Name);
    SetPriority(priority);
    return true;
}

void xThread::SignalStart(bool initialised)
{
    if (initialised)
        SetEvent(static_cast<HANDLE>(StartSignal));
}

void xThread::SetCurrent(xThread* thread)
{
    TlsSetValue(CurrentThreadSlot(), thread);
}

xThread* xThread::Current()
{
    return static_cast<xThread*>(TlsGetValue(CurrentThreadSlot()));
}

void xThread::ApplyPriority(int priority)
{
    if (Os == nullptr)
        return;
    const int level = priority == ThreadPriorityAboveNormal   ? THREAD_PRIORITY_ABOVE_NORMAL
                      : priority == ThreadPriorityBelowNormal ? THREAD_PRIORITY_BELOW_NORMAL
                                                              : THREAD_PRIORITY_NORMAL;
    SetThreadPriority(Os->Handle, level);
}

int xThread::Suspend(bool suspend)
{
    if (Os == nullptr)
        return -1;
    const DWORD previous = suspend ? SuspendThread(Os->Handle) : ResumeThread(Os->Handle);
    return static_cast<int>(previous);
}

bool xThread::Join()
{
    return Os != nullptr && WaitForSingleObject(Os->Handle, INFINITE) == WAIT_OBJECT_0;
}

void xThread::ReleaseHandle()
{
    if (Os == nullptr)
        return;
    CloseHandle(Os->Handle);
    delete Os;
    Os = nullptr;
}
