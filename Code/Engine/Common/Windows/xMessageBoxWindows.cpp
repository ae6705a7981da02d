#include "xMessageBox.h"

#include "xWin32Text.h"

#include <windows.h>

bool ShowErrorMessageBox(const xWString& text, const xWString& caption)
{
    // MessageBoxW would label the button in the thread's language; the notice
    // asks for the system's default one.
    const WORD systemLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT);
    return ::MessageBoxExW(nullptr, WinText(text), WinText(caption), MB_OK, systemLanguage) == IDOK;
}

bool ShowConfirmMessageBox(const xWString& text, const xWString& caption)
{
    const WORD systemLanguage = MAKELANGID(LANG_NEUTRAL, SUBLANG_SYS_DEFAULT);
    return ::MessageBoxExW(nullptr, WinText(text), WinText(caption), MB_OKCANCEL | MB_DEFBUTTON2,
                           systemLanguage) == IDOK;
}
