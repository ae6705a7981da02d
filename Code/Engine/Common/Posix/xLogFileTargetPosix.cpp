#include "xLogFileTarget.h"

#include <cstdio>

#include <sys/file.h>

FILE* xLogFileTarget::OpenStream(const xString& path)
{
    FILE* stream = std::fopen(path.c_str(), "w");
    // A shared lock, as a reader takes: others still read and write the log,
    // but cache cleaning sees it held and keeps it.
    if (stream != nullptr)
        flock(fileno(stream), LOCK_SH | LOCK_NB);
    return stream;
}
