#include "xHardwareDetection.h"

#include "xTextConversion.h"

#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <pthread.h>
#include <sys/utsname.h>

namespace
{
void* DetectionThread(void* info)
{
    RunHardwareDetection(static_cast<xHardwareInfo*>(info));
    return nullptr;
}

xString ReadSmallFile(const char* path)
{
    xString text;
    FILE* file = fopen(path, "r");
    if (file == nullptr)
        return text;
    char buffer[4096];
    size_t got = 0;
    while ((got = fread(buffer, 1, sizeof buffer, file)) > 0 && text.Length() < 65536)
        text.Append(buffer, got);
    fclose(file);
    return text;
}

// The first locale variable that is set decides, in the C library's own order.
const char* LocaleName()
{
    for (const char* variable : {"LC_ALL", "LC_MESSAGES", "LANG"})
    {
        const char* value = getenv(variable);
        if (value != nullptr && value[0] != 0)
            return value;
    }
    return "";
}
} // namespace

bool StartHardwareDetection(xHardwareInfo* info)
{
    pthread_attr_t attributes;
    if (pthread_attr_init(&attributes) != 0)
        return false;
    pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    pthread_t thread;
    const bool started = pthread_create(&thread, &attributes, DetectionThread, info) == 0;
    pthread_attr_destroy(&attributes);
    return started;
}

xWString DetectSystemFamily()
{
    utsname names;
    if (uname(&names) != 0)
        return {};
    return Utf8ToWide(names.sysname);
}

// The distribution's name stands where Windows has its version name, and the
// kernel release where Windows has its edition.
xWindowsVersionName DetectSystemVersion()
{
    xWindowsVersionName result;
    xString osRelease = ReadSmallFile("/etc/os-release");
    if (osRelease.IsEmpty())
        osRelease = ReadSmallFile("/usr/lib/os-release");
    const xString prettyName = OsReleaseValue(osRelease, "PRETTY_NAME");
    utsname names;
    const bool haveNames = uname(&names) == 0;
    if (!prettyName.IsEmpty())
        result.Name = Utf8ToWide(prettyName);
    else if (haveNames)
        result.Name = Utf8ToWide(xString(names.sysname) + " (unknown version)");
    if (haveNames)
        result.Edition = Utf8ToWide(names.release);
    return result;
}

bool DetectSystem64Bit()
{
    utsname names;
    return uname(&names) == 0 && BitnessForMachine(xString(names.machine)) == 64;
}

xWString DetectSystemLanguage()
{
    return LanguageFromLocaleName(xString(LocaleName()));
}
