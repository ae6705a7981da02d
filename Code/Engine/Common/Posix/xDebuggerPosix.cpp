#include "xDebugger.h"

#include "xTextConversion.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

bool IsDebuggerAttached()
{
    // Linux names the tracing process in /proc/self/status; 0 means nobody traces us.
    FILE* status = std::fopen("/proc/self/status", "r");
    if (status == nullptr)
        return false;
    long tracer = 0;
    char line[256];
    while (std::fgets(line, sizeof line, status) != nullptr)
    {
        if (std::strncmp(line, "TracerPid:", 10) == 0)
        {
            tracer = std::strtol(line + 10, nullptr, 10);
            break;
        }
    }
    std::fclose(status);
    return tracer != 0;
}

void ShowAssertionToDebugger(const xWString& report)
{
    // No message box here, and no SIGTRAP either: a tracer that is not a debugger
    // (strace, a sandbox) would otherwise stop the program, and assertions never do.
    const xString text = WideToUtf8(report);
    std::fprintf(stderr, "%s\n", text.c_str());
}
