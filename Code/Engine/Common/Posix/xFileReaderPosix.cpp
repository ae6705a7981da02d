#include "xFileReader.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

// Reads complete at once with pread: the page cache already reads ahead, and
// the results the reader gives are the same as with a read in flight.

void xFileReader::IoInit() {}

int64_t xFileReader::IoFileSize()
{
    struct stat status;
    if (fstat(static_cast<int>(Handle), &status) != 0)
        return -1;
    return static_cast<int64_t>(status.st_size);
}

xFileReader::IoStart xFileReader::IoBeginRead(void* buffer, int64_t offset, uint32_t count,
                                              uint32_t& bytesRead)
{
    char* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < count)
    {
        const ssize_t got =
            pread(static_cast<int>(Handle), out + done, count - done, static_cast<off_t>(offset) + done);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return IoStart::Failed;
        if (got == 0)
            break;
        done += static_cast<size_t>(got);
    }
    // Nothing at all is the end of the file, reported as a failed start the way
    // an overlapped read past the end is.
    if (done == 0)
        return IoStart::Failed;
    bytesRead = static_cast<uint32_t>(done);
    return IoStart::Completed;
}

xFileReader::IoWait xFileReader::IoWaitRead(uint32_t& bytesRead)
{
    // Never reached: IoBeginRead never leaves a read pending here.
    bytesRead = 0;
    return IoWait::Failed;
}

void xFileReader::IoClose()
{
    close(static_cast<int>(Handle));
}
