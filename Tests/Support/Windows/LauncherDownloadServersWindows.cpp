#include "../LauncherDownloadServers.h"

#include "xTextConversion.h"

#include <windows.h>

#include <cstring>

xWString LocalPathFromEnvironment(const std::string& path)
{
    // Wine maps the POSIX root to drive Z:.
    const std::string local = !path.empty() && path[0] == '/' ? "Z:" + path : path;
    return Utf8ToWide(local.c_str());
}

void SetSystemProxy(const char* hostAndPort)
{
    // Where InternetOpen with INTERNET_OPEN_TYPE_PRECONFIG reads the proxy from.
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                        0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    const DWORD enable = hostAndPort != nullptr ? 1 : 0;
    RegSetValueExA(key, "ProxyEnable", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&enable), sizeof(enable));
    if (hostAndPort != nullptr)
        RegSetValueExA(key, "ProxyServer", 0, REG_SZ, reinterpret_cast<const BYTE*>(hostAndPort),
                       static_cast<DWORD>(std::strlen(hostAndPort) + 1));
    else
        RegDeleteValueA(key, "ProxyServer");
    RegCloseKey(key);
}
