#include "xFileReader.h"

#include <cstring>
#include <utility>

xFileReader::xFileReader(xOsHandle handle) : Handle(handle)
{
    IoInit();
    FileSize = Handle == xInvalidOsHandle ? -1 : IoFileSize();
    if (FileSize < 0)
    {
        // Nothing can be read from a file whose size is unknown.
        FileSize = 0;
        EndReached = true;
    }
    Buffers[0].reset(new uint8_t[BufferSize]);
    Buffers[1].reset(new uint8_t[BufferSize]);
    StartRead(CurrentBuffer);
}

xFileReader::~xFileReader()
{
    Close();
}

void xFileReader::FinishRead(uint32_t bytesRead)
{
    Filled[FillingBuffer] = bytesRead;
    ReadAheadPosition += bytesRead;
    ReadPending = false;
    // A read that brings nothing although the size promised more means the file
    // shrank; stopping there keeps stale buffer bytes from being handed out.
    if (ReadAheadPosition >= FileSize || bytesRead == 0)
        EndReached = true;
}

void xFileReader::StartRead(int buffer)
{
    FillingBuffer = buffer;
    Filled[buffer] = 0;
    if (EndReached)
        return;
    ReadPending = true;
    uint32_t bytesRead = 0;
    switch (
        IoBeginRead(Buffers[buffer].get(), ReadAheadPosition, static_cast<uint32_t>(BufferSize), bytesRead))
    {
    case IoStart::Completed:
        FinishRead(bytesRead);
        break;
    case IoStart::Pending:
        break;
    case IoStart::Failed:
        EndReached = true;
        ReadPending = false;
        break;
    }
}

bool xFileReader::WaitRead()
{
    if (EndReached || !ReadPending)
        return true;
    uint32_t bytesRead = 0;
    switch (IoWaitRead(bytesRead))
    {
    case IoWait::Completed:
        FinishRead(bytesRead);
        return true;
    case IoWait::EndOfFile:
        ReadPending = false;
        EndReached = true;
        return true;
    case IoWait::Failed:
        break;
    }
    // The read stays marked pending: the buffer it was filling holds nothing
    // trustworthy, so every later wait for it fails too.
    return false;
}

bool xFileReader::Read(void* buffer, int64_t count)
{
    if (count <= 0 || !buffer || Handle == xInvalidOsHandle)
        return false;
    // Checked before anything moves, so that a read across the end of the file
    // fails as a whole even when it spans a buffer boundary.
    if (Position > FileSize || count > FileSize - Position)
        return false;

    // First read after opening or after a far seek: the current buffer is the one
    // still being filled.
    if (FillingBuffer == CurrentBuffer)
    {
        if (!WaitRead())
            return false;
        StartRead(OtherBuffer);
    }

    uint8_t* out = static_cast<uint8_t*>(buffer);
    int64_t remaining = count;
    for (;;)
    {
        const int64_t room = Filled[CurrentBuffer] - Offset;
        const int64_t amount = remaining < room ? remaining : room;
        if (amount > 0)
        {
            std::memcpy(out, Buffers[CurrentBuffer].get() + Offset, static_cast<size_t>(amount));
            out += amount;
            Offset += amount;
            Position += amount;
            remaining -= amount;
            if (remaining == 0)
                return true;
        }
        if (!WaitRead())
            return false;
        // The size promised more, but the disk brought nothing: the read failed or
        // the file shrank. The buffer holds old bytes that must never be handed out.
        if (Filled[OtherBuffer] == 0)
            return false;
        std::swap(CurrentBuffer, OtherBuffer);
        Offset = 0;
        StartRead(OtherBuffer);
    }
}

bool xFileReader::Seek(int64_t position)
{
    if (Handle == xInvalidOsHandle || position < 0)
        return false;
    const int64_t move = position - Position;
    if (move == 0)
        return true;
    if (!WaitRead())
        return false;
    Position = position;
    if ((move < 0 && Offset + move >= 0) || (move > 0 && Offset + move <= Filled[CurrentBuffer]))
    {
        Offset += move;
        return true;
    }
    // A far move: restart the read-ahead at the new place; the next Read waits for it.
    ReadAheadPosition = position;
    EndReached = false;
    Offset = 0;
    StartRead(CurrentBuffer);
    return true;
}

bool xFileReader::SeekFromEnd(int64_t offset)
{
    return Seek(FileSize + offset);
}

int64_t xFileReader::Tell()
{
    return Handle == xInvalidOsHandle ? -1 : Position;
}

int64_t xFileReader::GetSize()
{
    return FileSize;
}

bool xFileReader::Write(const void*, int64_t)
{
    return false;
}

bool xFileReader::Close()
{
    if (Handle != xInvalidOsHandle)
    {
        // The disk may still be writing into a buffer; it must finish first.
        WaitRead();
        IoClose();
        Handle = xInvalidOsHandle;
    }
    return true;
}
