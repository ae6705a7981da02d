#pragma once

#include "xFile.h"

// A file opened for plain, synchronous access; owns its handle. Reads and
// writes move at most 1 MiB per system call.
class xFileHandle : public xFile
{
public:
    static constexpr int64_t MaxTransfer = 1048576;

    explicit xFileHandle(xOsHandle handle) : Handle(handle) {}
    ~xFileHandle() override;
    xFileHandle(const xFileHandle&) = delete;
    xFileHandle& operator=(const xFileHandle&) = delete;

    int64_t Tell() override;
    bool Seek(int64_t position) override;
    bool SeekFromEnd(int64_t offset) override;
    bool Read(void* buffer, int64_t count) override;
    bool Write(const void* buffer, int64_t count) override;
    bool Close() override;
    bool Flush() override;

    // The handle or descriptor, for a start of the very file it holds
    // (StartHeldProcess); the object keeps owning it.
    xOsHandle GetOsHandle() const { return Handle; }

private:
    void CloseHandleNow();

    xOsHandle Handle = xInvalidOsHandle;
};
