#pragma once

#include "Manifest.h"
#include "Sha256.h"
#include "Xxh32.h"

#include "xEngineFileSystem.h"
#include "xFile.h"
#include "xString.h"

#include <cstdint>
#include <memory>

// Checks of the package worker, as functions of plain values and files.

// What a file's bytes must be, as the manifest names them: its size, its 32-bit
// sum (XXH32 when given, else CRC-32C) and, when given, its SHA-256. Bytes
// match only when every named value holds.
struct ExpectedContent
{
    uint64_t Size = 0;
    uint32_t Crc32c = 0;
    bool XxPresent = false;
    uint32_t Xx = 0;
    bool Sha256Present = false;
    Sha256Digest Sha256{};
};
ExpectedContent ExpectedOf(const ManifestEntry& entry);
ExpectedContent ExpectedOf(const PackageInfo& package);

// The sums of bytes that come in pieces, held against what is expected; only
// the sums that are named are computed.
class ContentCheck
{
public:
    explicit ContentCheck(const ExpectedContent& expected);
    ~ContentCheck();
    ContentCheck(const ContentCheck&) = delete;
    ContentCheck& operator=(const ContentCheck&) = delete;

    void Add(const void* data, size_t length);
    // True when the bytes added are the expected size and match every named
    // sum. Asked once: it ends the SHA-256.
    bool Matches();

private:
    ExpectedContent Expected;
    uint64_t Length = 0;
    uint32_t Crc = 0;
    Xxh32Stream Xx;
    std::unique_ptr<Sha256> Strong;
};

// True when the file exists, is exactly the expected size, can be read whole
// through `files`, and matches (ContentCheck). Reads in pieces, so a large file
// never needs its size in memory.
bool VerifyFile(const xEngineFileSystem& files, const xWString& path, const ExpectedContent& expected);
// The same through a file that is open already (read from its first byte on),
// so that the bytes checked are those of the file that is then used.
bool VerifyOpenFile(xFile& file, const ExpectedContent& expected);
// The size and one 32-bit sum: XXH32 (useXx) or CRC-32C equals `expected`.
bool VerifyFile(const xEngineFileSystem& files, const xWString& path, uint64_t expectedSize,
                uint32_t expected, bool useXx);

// A manifest name may only reach inside the publish folder: relative, "/" between
// folders, no drive or colon, no backslash, no "." or ".." component, no empty
// component, no control character, and not longer than MaxManifestNameLength.
// It must also mean the same file on Windows: none of * ? " < > |, no component
// ending in a dot or blank, no device name (CON, NUL, COM1…). Nor may it be one
// of the launcher's own names at the top of the publish folder.
bool IsSafeManifestName(const xWString& name);
// The verified-state record and its temporary (VerifiedStateFormat.h), ASCII case ignored.
bool IsReservedClientName(const xWString& name);
constexpr size_t MaxManifestNameLength = 1024;

// The whole package is fetched when more than half of its data is stale;
// exactly half still goes by ranges.
bool PrefersFullDownload(uint64_t neededBytes, uint64_t totalBytes);
