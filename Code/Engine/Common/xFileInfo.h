#pragma once

#include "xDateTime.h"

#include <cstdint>

// What the file system knows about one name.
struct xFileInfo
{
    enum : uint8_t
    {
        FlagDirectory = 1,
        FlagReadOnly = 2,
        FlagExists = 4,
    };

    xDateTime CreationTime; // zero when the time cannot be had
    xDateTime LastAccessTime;
    xDateTime LastWriteTime;
    int64_t Size = -1; // -1 for a folder or a missing name
    // Tells files of one volume apart (the inode natively); 0 when unknown, as a
    // Windows listing does not give the file index without opening the file.
    uint64_t FileId = 0;
    uint8_t Flags = 0;

    bool IsDirectory() const { return (Flags & FlagDirectory) != 0; }
    bool IsReadOnly() const { return (Flags & FlagReadOnly) != 0; }
    bool Exists() const { return (Flags & FlagExists) != 0; }
};
