#include "xShell.h"
#include "Windows/xWin32Text.h"

#include <windows.h>
#include <shellapi.h>

void OpenWebPage(const xWString& url)
{
    ::ShellExecuteW(nullptr, L"open", WinText(url), nullptr, nullptr, SW_SHOWMAXIMIZED);
}
