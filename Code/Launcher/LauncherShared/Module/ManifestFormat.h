#pragma once

// The manifest's names, for the reader (Manifest.cpp) and the writer
// (WriteManifestXml, which the publisher writes through). Element and attribute
// names are matched without regard to ASCII case, except that only the exact
// spelling of XxAttribute counts.
namespace ManifestFormat
{
constexpr const char RootElement[] = "package"; // the reader takes any first element
constexpr const char FileElement[] = "file";

// The root's: the package's size and sums.
constexpr const char TotalSizeAttribute[] = "totalSize";
constexpr const char PackageCrc32cAttribute[] = "crc32c";

// Each file's.
constexpr const char NameAttribute[] = "name";
constexpr const char OrigSizeAttribute[] = "origSize";
constexpr const char OrigCrc32cAttribute[] = "origCRC32C";
constexpr const char StartPosAttribute[] = "startPos";
constexpr const char DataSizeAttribute[] = "dataSize";
constexpr const char CompressedAttribute[] = "bCompressed";

// Both: XXH32, checked instead of the CRC-32C when present; SHA-256 as 64
// lowercase hex digits, checked beside the 32-bit sum when present and required
// with an update key. Readers that predate an attribute ignore it.
constexpr const char XxAttribute[] = "xx";
constexpr const char Sha256Attribute[] = "sha256";
} // namespace ManifestFormat
