#include "xDebugger.h"

#include "Windows/xWin32Text.h"

#include <windows.h>

bool IsDebuggerAttached()
{
    return ::IsDebuggerPresent() != FALSE;
}

void ShowAssertionToDebugger(const xWString& report)
{
    ::MessageBoxW(nullptr, WinText(report), L"Error", MB_OK);
    ::DebugBreak();
}
