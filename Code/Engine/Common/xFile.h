#pragma once

#include <cstdint>

// An operating-system file handle (Windows) or descriptor (POSIX) carried as a
// plain integer, so that no header of the framework needs a system header.
using xOsHandle = intptr_t;
constexpr xOsHandle xInvalidOsHandle = -1;

// An open file. Positions and counts are 64-bit; every operation reports
// failure by its result only.
class xFile
{
public:
    virtual ~xFile();
    // The position, -1 on error.
    virtual int64_t Tell() = 0;
    virtual bool Seek(int64_t position) = 0;
    virtual bool SeekFromEnd(int64_t offset) = 0;
    // True only when all `count` bytes were read.
    virtual bool Read(void* buffer, int64_t count) = 0;
    // True only when all `count` bytes were written.
    virtual bool Write(const void* buffer, int64_t count) = 0;
    // Closes the handle if it is open; always true.
    virtual bool Close() = 0;
    // Waits until every byte written is on the disk, so a power cut after it
    // cannot lose them; false when that failed or the file cannot tell.
    virtual bool Flush();
    // The size found by seeking to the end and back; -1 on error.
    virtual int64_t GetSize();
};
