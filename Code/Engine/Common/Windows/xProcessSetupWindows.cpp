#include "xProcessSetup.h"

#include <windows.h>
#include <objbase.h>

#include <vector>

namespace
{
// Main thread only, as the drain is.
std::vector<HWND> ModelessDialogs;

bool IsModelessDialogMessage(MSG& message)
{
    for (HWND dialog : ModelessDialogs)
        if (::IsDialogMessageW(dialog, &message))
            return true;
    return false;
}
} // namespace

void EnableDpiAwareness()
{
    // shcore is only used when the process already has it loaded; without it the
    // older system-wide switch of user32 is the fallback.
    HMODULE shcore = ::GetModuleHandleW(L"shcore.dll");
    if (shcore)
    {
        using SetAwarenessFunction = HRESULT(WINAPI*)(int);
        auto setAwareness = reinterpret_cast<SetAwarenessFunction>(
            reinterpret_cast<void (*)()>(::GetProcAddress(shcore, "SetProcessDpiAwareness")));
        ::GetProcAddress(shcore, "GetDpiForMonitor");
        const int perMonitorAware = 2;
        if (setAwareness)
            setAwareness(perMonitorAware);
        return;
    }
    HMODULE user32 = ::GetModuleHandleW(L"user32.dll");
    if (!user32)
        return;
    using SetAwareFunction = BOOL(WINAPI*)();
    auto setAware = reinterpret_cast<SetAwareFunction>(
        reinterpret_cast<void (*)()>(::GetProcAddress(user32, "SetProcessDPIAware")));
    if (setAware)
        setAware();
}

void InitialiseComForThisThread()
{
    ::CoInitialize(nullptr);
}

void DrainThreadMessages()
{
    MSG message;
    while (::PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE))
    {
        if (IsModelessDialogMessage(message))
            continue;
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

bool WaitForThreadMessages(std::chrono::milliseconds longest)
{
    // Any message, input, timer or paint request for this thread ends the wait;
    // MWMO_INPUTAVAILABLE counts what arrived before the call too.
    ::MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(longest.count()), QS_ALLINPUT,
                                  MWMO_INPUTAVAILABLE);
    return true;
}

void AddModelessDialog(void* dialog)
{
    ModelessDialogs.push_back(static_cast<HWND>(dialog));
}

void TerminateThisProcess(int exitCode)
{
    ::TerminateProcess(::GetCurrentProcess(), static_cast<UINT>(exitCode));
    // TerminateProcess on the own process does not return; ExitProcess keeps the
    // compiler's promise if it ever did.
    ::ExitProcess(static_cast<UINT>(exitCode));
}
