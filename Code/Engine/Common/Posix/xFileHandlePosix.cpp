#include "xFileHandle.h"

#include <cerrno>
#include <sys/types.h>
#include <unistd.h>

namespace
{
int ToFd(xOsHandle handle)
{
    return static_cast<int>(handle);
}

bool MovePointer(xOsHandle handle, int64_t distance, int whence, int64_t* newPosition)
{
    if (handle == xInvalidOsHandle)
        return false;
    const off_t result = lseek(ToFd(handle), static_cast<off_t>(distance), whence);
    if (result < 0)
        return false;
    if (newPosition)
        *newPosition = static_cast<int64_t>(result);
    return true;
}

// One piece of at most 1 MiB, complete or failed. read() and write() may
// stop short on a signal, which is not a short file.
template <typename Transfer> bool TransferPiece(Transfer transfer, size_t piece)
{
    size_t done = 0;
    while (done < piece)
    {
        const ssize_t moved = transfer(done, piece - done);
        if (moved < 0 && errno == EINTR)
            continue;
        if (moved <= 0)
            return false;
        done += static_cast<size_t>(moved);
    }
    return true;
}
} // namespace

xFileHandle::~xFileHandle()
{
    CloseHandleNow();
}

void xFileHandle::CloseHandleNow()
{
    if (Handle != xInvalidOsHandle)
        close(ToFd(Handle));
    Handle = xInvalidOsHandle;
}

int64_t xFileHandle::Tell()
{
    int64_t position = -1;
    return MovePointer(Handle, 0, SEEK_CUR, &position) ? position : -1;
}

bool xFileHandle::Seek(int64_t position)
{
    return MovePointer(Handle, position, SEEK_SET, nullptr);
}

bool xFileHandle::SeekFromEnd(int64_t offset)
{
    return MovePointer(Handle, offset, SEEK_END, nullptr);
}

bool xFileHandle::Read(void* buffer, int64_t count)
{
    if (count == 0)
        return true;
    if (count < 0 || !buffer || Handle == xInvalidOsHandle)
        return false;
    char* out = static_cast<char*>(buffer);
    const int fd = ToFd(Handle);
    while (count > 0)
    {
        const size_t piece = static_cast<size_t>(count < MaxTransfer ? count : MaxTransfer);
        if (!TransferPiece([&](size_t at, size_t left) { return read(fd, out + at, left); }, piece))
            return false;
        out += piece;
        count -= static_cast<int64_t>(piece);
    }
    return true;
}

bool xFileHandle::Write(const void* buffer, int64_t count)
{
    if (count == 0)
        return true;
    if (count < 0 || !buffer || Handle == xInvalidOsHandle)
        return false;
    const char* in = static_cast<const char*>(buffer);
    const int fd = ToFd(Handle);
    while (count > 0)
    {
        const size_t piece = static_cast<size_t>(count < MaxTransfer ? count : MaxTransfer);
        if (!TransferPiece([&](size_t at, size_t left) { return write(fd, in + at, left); }, piece))
            return false;
        in += piece;
        count -= static_cast<int64_t>(piece);
    }
    return true;
}

bool xFileHandle::Flush()
{
    return Handle != xInvalidOsHandle && fdatasync(ToFd(Handle)) == 0;
}

bool xFileHandle::Close()
{
    CloseHandleNow();
    return true;
}
