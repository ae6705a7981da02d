#include "xFileHandle.h"

#include <windows.h>

namespace
{
HANDLE ToWin(xOsHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

// SetFilePointer reports failure as all ones plus a last error; a position whose
// low half really is all ones comes with NO_ERROR.
bool MovePointer(xOsHandle handle, int64_t distance, DWORD method, int64_t* newPosition)
{
    if (handle == xInvalidOsHandle)
        return false;
    LONG high = static_cast<LONG>(distance >> 32);
    SetLastError(NO_ERROR);
    const DWORD low = SetFilePointer(ToWin(handle), static_cast<LONG>(distance & 0xFFFFFFFF), &high, method);
    if (low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR)
        return false;
    if (newPosition)
        *newPosition = (static_cast<int64_t>(high) << 32) | low;
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
        CloseHandle(ToWin(Handle));
    Handle = xInvalidOsHandle;
}

int64_t xFileHandle::Tell()
{
    int64_t position = -1;
    return MovePointer(Handle, 0, FILE_CURRENT, &position) ? position : -1;
}

bool xFileHandle::Seek(int64_t position)
{
    return MovePointer(Handle, position, FILE_BEGIN, nullptr);
}

bool xFileHandle::SeekFromEnd(int64_t offset)
{
    return MovePointer(Handle, offset, FILE_END, nullptr);
}

bool xFileHandle::Read(void* buffer, int64_t count)
{
    if (count == 0)
        return true;
    if (count < 0 || !buffer || Handle == xInvalidOsHandle)
        return false;
    char* out = static_cast<char*>(buffer);
    while (count > 0)
    {
        const DWORD piece = static_cast<DWORD>(count < MaxTransfer ? count : MaxTransfer);
        DWORD done = 0;
        if (!ReadFile(ToWin(Handle), out, piece, &done, nullptr) || done != piece)
            return false;
        out += piece;
        count -= piece;
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
    while (count > 0)
    {
        const DWORD piece = static_cast<DWORD>(count < MaxTransfer ? count : MaxTransfer);
        DWORD done = 0;
        if (!WriteFile(ToWin(Handle), in, piece, &done, nullptr) || done != piece)
            return false;
        in += piece;
        count -= piece;
    }
    return true;
}

bool xFileHandle::Flush()
{
    return Handle != xInvalidOsHandle && FlushFileBuffers(ToWin(Handle)) != FALSE;
}

bool xFileHandle::Close()
{
    CloseHandleNow();
    return true;
}
