#include "xLogFileTarget.h"

#include <cstdio>

FILE* xLogFileTarget::OpenStream(const xString& path)
{
    // POSIX files carry no sharing modes: readers and writers are never locked out.
    return std::fopen(path.c_str(), "w");
}
