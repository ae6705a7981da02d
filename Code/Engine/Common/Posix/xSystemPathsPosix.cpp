#include "xSystemPaths.h"

#include "xTextConversion.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>
#include <vector>

xWString QueryModulePath()
{
    // readlink neither terminates nor reports truncation, so the buffer grows
    // until the link fits with room to spare.
    for (size_t size = 1024; size <= 65536; size *= 4)
    {
        std::vector<char> buffer(size);
        const ssize_t length = readlink("/proc/self/exe", buffer.data(), size);
        if (length < 0)
            return {};
        if (static_cast<size_t>(length) < size)
            return Utf8ToWide(buffer.data(), static_cast<size_t>(length));
    }
    return {};
}

xWString QueryAppDataFolder()
{
    // The XDG base-directory rules: a relative XDG_CONFIG_HOME is to be ignored.
    const char* configHome = getenv("XDG_CONFIG_HOME");
    if (configHome != nullptr && configHome[0] == '/')
        return Utf8ToWide(configHome);
    const char* home = getenv("HOME");
    if (home == nullptr || home[0] == 0)
    {
        const passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    if (home == nullptr || home[0] == 0)
        return {};
    return Utf8ToWide(xString(home) + "/.config");
}

xWString QuerySystemFontFolder()
{
    return {};
}

bool ChangeCurrentDirectory(const xWString& folder)
{
    return chdir(xString(folder).c_str()) == 0;
}
