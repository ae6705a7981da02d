#include "xFile.h"

xFile::~xFile() = default;

bool xFile::Flush()
{
    return false;
}

int64_t xFile::GetSize()
{
    const int64_t position = Tell();
    if (position < 0 || !SeekFromEnd(0))
        return -1;
    const int64_t size = Tell();
    if (!Seek(position))
        return -1;
    return size;
}
