#include "WindowMode.h"

#include <vector>

std::wstring WineVersion()
{
    HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    if (ntdll == nullptr)
        return std::wstring();
    using GetVersion = const char*(__cdecl*)();
    const auto get =
        reinterpret_cast<GetVersion>(reinterpret_cast<void (*)()>(GetProcAddress(ntdll, "wine_get_version")));
    if (get == nullptr)
        return std::wstring();
    const char* version = get();
    std::wstring text = L"?";
    if (version != nullptr)
        text.assign(version, version + lstrlenA(version));
    return text;
}

bool ChooseWindowMode(HWND view, WindowMode& mode, std::wstring& why, std::wstring& reason)
{
    std::wstring forced;
    const DWORD size = GetEnvironmentVariableW(WindowModeVariable, nullptr, 0);
    if (size > 0)
    {
        std::vector<wchar_t> value(size);
        GetEnvironmentVariableW(WindowModeVariable, value.data(), size);
        forced = value.data();
    }
    if (forced == L"child" || forced == L"overlay")
    {
        mode = forced == L"child" ? WindowMode::Child : WindowMode::Overlay;
        why = std::wstring(WindowModeVariable) + L"=" + forced;
        return true;
    }
    if (!forced.empty() && forced != L"auto")
    {
        reason = std::wstring(WindowModeVariable) + L" is '" + forced + L"', not child, overlay or auto";
        return false;
    }
    DWORD owner = 0;
    GetWindowThreadProcessId(view, &owner);
    const std::wstring wine = WineVersion();
    const bool foreign = owner != GetCurrentProcessId();
    mode = !wine.empty() && foreign ? WindowMode::Overlay : WindowMode::Child;
    why = wine.empty() ? L"not under Wine"
                       : L"Wine " + wine + (foreign ? L", view of another process" : L", view of our own");
    return true;
}
