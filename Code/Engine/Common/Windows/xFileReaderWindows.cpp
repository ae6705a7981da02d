#include "xFileReader.h"

#include <new>
#include <windows.h>

namespace
{
HANDLE ToWin(xOsHandle handle)
{
    return reinterpret_cast<HANDLE>(handle);
}

OVERLAPPED* Record(unsigned char* storage)
{
    return std::launder(reinterpret_cast<OVERLAPPED*>(storage));
}
} // namespace

static_assert(sizeof(OVERLAPPED) <= 32 && alignof(OVERLAPPED) <= 8,
              "the read record must hold an OVERLAPPED");

void xFileReader::IoInit()
{
    // No event in the record: with one read in flight at a time, waiting on the
    // file handle itself is enough.
    new (ReadRecord) OVERLAPPED{};
}

int64_t xFileReader::IoFileSize()
{
    LARGE_INTEGER size;
    if (!GetFileSizeEx(ToWin(Handle), &size))
        return -1;
    return size.QuadPart;
}

xFileReader::IoStart xFileReader::IoBeginRead(void* buffer, int64_t offset, uint32_t count,
                                              uint32_t& bytesRead)
{
    OVERLAPPED* record = Record(ReadRecord);
    *record = OVERLAPPED{};
    record->Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    record->OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    // The byte count of an overlapped ReadFile is only reliable from the record.
    if (ReadFile(ToWin(Handle), buffer, count, nullptr, record))
    {
        DWORD done = 0;
        if (!GetOverlappedResult(ToWin(Handle), record, &done, FALSE))
            return IoStart::Failed;
        bytesRead = done;
        return IoStart::Completed;
    }
    // ERROR_IO_PENDING (997): the read goes on in the background. Anything else,
    // ERROR_HANDLE_EOF (38) included, means nothing is coming.
    return GetLastError() == ERROR_IO_PENDING ? IoStart::Pending : IoStart::Failed;
}

xFileReader::IoWait xFileReader::IoWaitRead(uint32_t& bytesRead)
{
    DWORD done = 0;
    if (GetOverlappedResult(ToWin(Handle), Record(ReadRecord), &done, TRUE))
    {
        bytesRead = done;
        return IoWait::Completed;
    }
    return GetLastError() == ERROR_HANDLE_EOF ? IoWait::EndOfFile : IoWait::Failed;
}

void xFileReader::IoClose()
{
    CloseHandle(ToWin(Handle));
}
