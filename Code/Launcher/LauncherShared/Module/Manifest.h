#pragma once

#include "Sha256.h"

#include "xString.h"

#include <cstdint>
#include <string>
#include <vector>

// The package's own sizes and checksums, from the manifest's root element.
struct PackageInfo
{
    uint32_t TotalSize = 0;
    uint32_t Crc32c = 0;
    uint32_t Xx = 0;
    // When present, XXH32 is checked instead of CRC-32C.
    bool XxPresent = false;
    // When present, checked beside the 32-bit sum; a build with an update key
    // takes no manifest without it.
    bool Sha256Present = false;
    Sha256Digest Sha256{};
};

// One installed file: where its data lies in the package and how to check it.
struct ManifestEntry
{
    // Relative to the publish folder, "/" between folders.
    xWString Name;
    bool XxPresent = false;
    uint32_t OrigSize = 0;
    uint32_t OrigCrc32c = 0;
    uint32_t Xx = 0;
    uint32_t StartPos = 0;
    uint32_t DataSize = 0;
    // Non-zero: the data is an Lzma86 container that unpacks to the file.
    uint32_t Compressed = 0;
    bool Sha256Present = false;
    Sha256Digest Sha256{};
};

struct Manifest
{
    PackageInfo Package;
    std::vector<ManifestEntry> Entries;
};

// Reads the manifest XML (names in ManifestFormat.h). Element and attribute
// names ignore ASCII case, except that only an attribute spelled exactly "xx"
// counts. Numbers read as the C library's unsigned conversion does, capped at
// 4294967295. A document without a root element has no entries. False (with an
// error line) when the text is not well-formed XML or a sha256 is not 64
// lowercase hex digits: a hash that cannot be read must not pass for none.
bool ParseManifestXml(const uint8_t* text, size_t length, Manifest& manifest);

// The manifest file as it is served: one Lzma86 container holding the XML. False
// when it cannot be unpacked or parsed.
bool ReadManifestContainer(const std::vector<uint8_t>& container, Manifest& manifest);

// The value of an unsigned decimal attribute, read as strtoul reads it: leading
// blanks and a sign allowed, stops at the first non-digit, no digits give 0,
// beyond 32 bits gives 4294967295.
uint32_t ReadManifestNumber(const char* text, size_t length);

// The manifest as the publisher writes it: a "package" root with the package's
// size and sums, one "file" element a line. Names go out as UTF-8 with XML's
// special characters and control characters as character references, so that
// ParseManifestXml reads back what was written; xx and sha256 only where present.
std::string WriteManifestXml(const Manifest& manifest);
