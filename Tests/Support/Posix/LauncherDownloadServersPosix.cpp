#include "../LauncherDownloadServers.h"

#include "xTextConversion.h"

#include <cstdlib>

xWString LocalPathFromEnvironment(const std::string& path)
{
    return Utf8ToWide(path.c_str());
}

void SetSystemProxy(const char* hostAndPort)
{
    if (hostAndPort != nullptr)
        setenv("http_proxy", (std::string("http://") + hostAndPort).c_str(), 1);
    else
        unsetenv("http_proxy");
}
