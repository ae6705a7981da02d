#include "BossKey.h"

#include "xLogLine.h"
#include "xProcessSetup.h"

#include <windows.h>
#include <commctrl.h>

namespace
{
// The dialog resource and its controls (qtmx.rc).
constexpr int DialogResourceId = 201;
constexpr int EnableCheckBoxId = 2001;
constexpr int HotKeyControlId = 2002;

// Created at the first opening and kept, hidden, for the rest of the process.
HWND Dialog = nullptr;
HWND HotKeyControl = nullptr;
HWND EnableCheckBox = nullptr;

INT_PTR CALLBACK BossKeyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    LogLine("BossKeyProc, hwnd: %0llX, msg: %0X, wParam: %0llX, lParam: %llX",
            static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(window)), message,
            static_cast<unsigned long long>(wParam), static_cast<unsigned long long>(lParam));
    if (message == WM_INITDIALOG)
        return TRUE;
    if (message != WM_COMMAND)
        return FALSE;
    // The whole wParam: a click (notification code 0) of the check box, nothing else from it.
    if (wParam == EnableCheckBoxId)
    {
        BossKeyEnabled = SendMessageW(reinterpret_cast<HWND>(lParam), BM_GETCHECK, 0, 0) == BST_CHECKED;
        return FALSE;
    }
    const WORD command = LOWORD(wParam);
    if (command == IDOK || command == IDCANCEL)
    {
        // Escape applies the settings exactly as OK does.
        ApplyBossKey();
        EndDialog(window, command);
        return TRUE;
    }
    return FALSE;
}
} // namespace

void OpenBossKeyDialog()
{
    if (Dialog != nullptr)
    {
        ShowWindow(Dialog, SW_SHOW);
        return;
    }
    // The hot-key control's class comes from comctl32, registered on request.
    INITCOMMONCONTROLSEX classes = {sizeof(classes), ICC_HOTKEY_CLASS};
    InitCommonControlsEx(&classes);
    Dialog = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(DialogResourceId), nullptr,
                                BossKeyProc, 0);
    if (Dialog == nullptr)
    {
        LogErrorLine("The boss key dialog could not be created (error %lu)", GetLastError());
        return;
    }
    // Tab, Escape and Enter reach a modeless dialog only through the message drain.
    AddModelessDialog(Dialog);
    ShowWindow(Dialog, SW_SHOW);
    HotKeyControl = GetDlgItem(Dialog, HotKeyControlId);
    if (HotKeyControl != nullptr)
    {
        SetFocus(HotKeyControl);
        if (BossKeyValue == 0)
            BossKeyValue = DefaultBossKey;
        SendMessageW(HotKeyControl, HKM_SETHOTKEY, BossKeyValue, 0);
    }
    EnableCheckBox = GetDlgItem(Dialog, EnableCheckBoxId);
    if (EnableCheckBox != nullptr)
        SendMessageW(EnableCheckBox, BM_SETCHECK, BossKeyEnabled ? BST_CHECKED : BST_UNCHECKED, 0);
}

void ReadBossKeyFromDialog()
{
    if (HotKeyControl != nullptr)
        BossKeyValue = static_cast<uint16_t>(SendMessageW(HotKeyControl, HKM_GETHOTKEY, 0, 0));
}

void HideBossKeyDialog()
{
    if (Dialog != nullptr)
        ShowWindow(Dialog, SW_HIDE);
}

int32_t RegisterWindowHotKey(void* window, int32_t id, uint32_t modifiers, uint32_t virtualKey)
{
    return RegisterHotKey(static_cast<HWND>(window), id, modifiers, virtualKey);
}

int32_t UnregisterWindowHotKey(void* window, int32_t id)
{
    return UnregisterHotKey(static_cast<HWND>(window), id);
}
