#include "xTrayIcon.h"

#include "xNativeWindow.h"

#include "Windows/xWin32Text.h"

#include <windows.h>

#include <shellapi.h>

#include <cstdlib>
#include <cwchar>

namespace
{
void CopyText(wchar_t* target, size_t capacity, const xWString& text)
{
    std::wcsncpy(target, WinText(text), capacity - 1);
    target[capacity - 1] = L'\0';
}
// The icon's record: its window and identifier, its events' message, the
// program's icon resource and the tip.
NOTIFYICONDATAW IconRecord(HWND window, UINT id, uint32_t callbackMessage, int32_t iconId,
                           const xWString& tip)
{
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = window;
    data.uID = id;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = callbackMessage;
    data.hIcon = LoadIconW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(iconId));
    CopyText(data.szTip, sizeof(data.szTip) / sizeof(data.szTip[0]), tip);
    return data;
}
} // namespace

xTrayIcon::~xTrayIcon()
{
    Remove();
}

bool xTrayIcon::Add(xNativeWindow& window, uint32_t callbackMessage, int32_t iconId, const xWString& tip)
{
    if (window.Handle() == nullptr || IsShown())
        return false;
    // Any identifier but 0, which marks "not shown" here.
    NOTIFYICONDATAW data = IconRecord(static_cast<HWND>(window.Handle()), static_cast<UINT>(std::rand()) + 1,
                                      callbackMessage, iconId, tip);
    if (!Shell_NotifyIconW(NIM_ADD, &data))
        return false;
    WindowHandle = window.Handle();
    Id = data.uID;
    CallbackMessage = callbackMessage;
    IconId = iconId;
    Tip = tip;
    return true;
}

void xTrayIcon::ShowBalloon(const xWString& title, const xWString& text)
{
    if (!IsShown())
        return;
    NOTIFYICONDATAW data = IconRecord(static_cast<HWND>(WindowHandle), Id, CallbackMessage, IconId, Tip);
    data.uFlags |= NIF_INFO;
    CopyText(data.szInfo, sizeof(data.szInfo) / sizeof(data.szInfo[0]), text);
    CopyText(data.szInfoTitle, sizeof(data.szInfoTitle) / sizeof(data.szInfoTitle[0]), title);
    Shell_NotifyIconW(NIM_MODIFY, &data);
}

void xTrayIcon::Remove()
{
    if (!IsShown())
        return;
    NOTIFYICONDATAW data = {};
    data.cbSize = sizeof(data);
    data.hWnd = static_cast<HWND>(WindowHandle);
    data.uID = Id;
    Shell_NotifyIconW(NIM_DELETE, &data);
    Id = 0;
}
