#include "../LauncherDownloadServers.h"

#include "xTextConversion.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

// A Windows test process under Wine cannot count on starting the native
// servers itself: scripts/test.sh starts them and names them in the environment.

bool StartDevServerProcess(TestServer& server)
{
    server.Problem =
        "no dev server: set LAUNCHER_TEST_DEVSERVER=127.0.0.1:PORT and LAUNCHER_TEST_DEVSERVER_ROOT "
        "(scripts/test.sh does)";
    return false;
}

bool StartNginxProcess(TestServer& server)
{
    server.Problem = "no nginx: set LAUNCHER_TEST_NGINX and LAUNCHER_TEST_NGINX_ROOT (scripts/test.sh does)";
    return false;
}

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

bool MakeSignedUpdates(SignedUpdates& made)
{
    // Signing needs OpenSSL, which only the native publisher has.
    const char* folder = std::getenv("LAUNCHER_TEST_SIGNED");
    if (folder == nullptr || *folder == 0)
    {
        made.Problem = "LAUNCHER_TEST_SIGNED names no folder of signed updates (scripts/test.sh makes one)";
        return false;
    }
    made.Root = LocalPathFromEnvironment(std::string(folder) + "/");
    return true;
}
