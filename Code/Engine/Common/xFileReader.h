#pragma once

#include "xFile.h"

#include <cstdint>
#include <memory>

// A file opened for reading with read-ahead: while the caller consumes one
// 64 KiB buffer, the next 64 KiB are already being read into the other one.
// Owns its handle, which must have been opened for asynchronous reads where the
// platform has them. Reading only: Write always fails.
class xFileReader : public xFile
{
public:
    static constexpr int64_t BufferSize = 65536;

    explicit xFileReader(xOsHandle handle);
    ~xFileReader() override;
    xFileReader(const xFileReader&) = delete;
    xFileReader& operator=(const xFileReader&) = delete;

    int64_t Tell() override;
    bool Seek(int64_t position) override;
    bool SeekFromEnd(int64_t offset) override;
    // Fails as a whole, without moving, when the bytes would pass the end of the file.
    // A disk read that fails (or finds the file shorter than it was) fails the read
    // too, and every later one until a seek starts reading afresh.
    bool Read(void* buffer, int64_t count) override;
    bool Write(const void* buffer, int64_t count) override;
    bool Close() override;
    int64_t GetSize() override;

private:
    // The per-platform primitive under the read-ahead: one read in flight at a time.
    enum class IoStart
    {
        Completed, // done at once; the byte count is set
        Pending,   // in flight; IoWait finishes it
        Failed,    // nothing was read (end of file included)
    };
    enum class IoWait
    {
        Completed,
        EndOfFile,
        Failed,
    };
    void IoInit();
    int64_t IoFileSize();
    IoStart IoBeginRead(void* buffer, int64_t offset, uint32_t count, uint32_t& bytesRead);
    IoWait IoWaitRead(uint32_t& bytesRead);
    void IoClose();

    void StartRead(int buffer);
    void FinishRead(uint32_t bytesRead);
    bool WaitRead();

    xOsHandle Handle = xInvalidOsHandle;
    int64_t FileSize = 0;
    int64_t Position = 0;          // what Tell reports
    int64_t ReadAheadPosition = 0; // where the next disk read starts
    std::unique_ptr<uint8_t[]> Buffers[2];
    int CurrentBuffer = 0;
    int OtherBuffer = 1;
    int64_t Offset = 0;         // inside the current buffer
    int64_t Filled[2] = {0, 0}; // bytes the disk put into each buffer
    int FillingBuffer = 0;
    // Room for the platform's asynchronous-read record (OVERLAPPED on Windows),
    // kept opaque so that this header includes no system header.
    alignas(8) unsigned char ReadRecord[32] = {};
    bool EndReached = false; // the read-ahead reached the end of the file or failed
    bool ReadPending = false;
};
