#include "xLogFileTarget.h"

#include <cstdio>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

FILE* xLogFileTarget::OpenStream(const xString& path)
{
    // Appending, so that a second launcher started at once (which truncates
    // too) adds its lines at the end instead of writing over ours.
    const int descriptor = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0644);
    if (descriptor < 0)
        return nullptr;
    FILE* stream = fdopen(descriptor, "a");
    if (stream == nullptr)
    {
        close(descriptor);
        return nullptr;
    }
    // A shared lock, as a reader takes: others still read and write the log,
    // but cache cleaning sees it held and keeps it.
    flock(descriptor, LOCK_SH | LOCK_NB);
    return stream;
}

void xLogFileTarget::WriteStream(FILE* stream, const xString& line)
{
    std::fputs(line.c_str(), stream);
    std::fflush(stream);
}
