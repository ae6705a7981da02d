#pragma once

#include "PackageCheck.h"
#include "Sha256.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What the last check or update that ended well found verified: per file the
// sums its bytes matched and the size, write time and file id the file had
// when it was read. A later check trusts a file without reading it only while
// all of these still hold. Pure values; the worker reads and writes the record
// (VerifiedStateFormat.h) at the top of the publish folder.

// What the listing of a folder tells about a file without opening it.
struct FileStamp
{
    uint64_t Size = 0;
    uint64_t WriteTime = 0; // xDateTime ticks
    uint64_t FileId = 0;    // 0 when the system does not give one cheaply

    bool operator==(const FileStamp& other) const
    {
        return Size == other.Size && WriteTime == other.WriteTime && FileId == other.FileId;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};

struct VerifiedFile
{
    std::string Name; // UTF-8, as the manifest names it
    FileStamp Stamp;
    bool Xx = false; // the 32-bit sum is XXH32, else CRC-32C
    uint32_t Sum = 0;
    bool Sha256Present = false;
    Sha256Digest Sha256{};
};

struct VerifiedState
{
    std::string Version;
    Sha256Digest ManifestHash{};
    // How many files the manifest names: when the record names as many, it
    // vouches for the whole client, and the manifest need not be read.
    uint32_t ManifestEntries = 0;
    // Written by a build with a key: the manifest's signature and its SHA-256 sums were checked.
    bool Signed = false;
    std::vector<VerifiedFile> Files;

    bool NamesEveryFile() const { return Files.size() == ManifestEntries; }
};

// The record's bytes, sealed with the SHA-256 of all before the seal.
std::vector<uint8_t> WriteVerifiedState(const VerifiedState& state);
// False, with the reason in `error` and `state` left empty, for anything the
// writer would not have written: a damaged or cut record, a broken seal, a
// name that is not UTF-8 or repeats.
bool ParseVerifiedState(const uint8_t* data, size_t size, VerifiedState& state, std::string& error);

// The entry for a file whose bytes matched `expected` while it had `stamp`.
VerifiedFile VerifiedFileOf(const std::string& name, const ExpectedContent& expected, const FileStamp& stamp);
// True when the recorded file vouches for a file that must match `expected`
// and now shows `stamp`: the same size, write time and file id as when it was
// read, and the same sums (the 32-bit one of the same kind, and the SHA-256
// whenever the manifest names one).
bool Vouches(const VerifiedFile& recorded, const ExpectedContent& expected, const FileStamp& stamp);
