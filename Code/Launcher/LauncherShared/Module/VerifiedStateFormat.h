#pragma once

#include <cstddef>
#include <cstdint>

// The verified-state record's layout, for its reader and writer
// (VerifiedState.cpp). Binary, little-endian, no padding; a "string" is a u16
// byte count and that many bytes of UTF-8:
//   magic            8 bytes, "LVERIFY2"
//   version          string: the manifest's name, which carries its version
//   manifest hash    32 bytes: SHA-256 of the manifest file as it was read
//   manifest entries u32: how many files the manifest names
//   flags            u8: SignedFlag when the manifest's signature and its SHA-256
//                    sums were checked (a build with a key)
//   file count       u32, then per file:
//                      name (string, as the manifest names it),
//                      u64 size, u64 last-write time (xDateTime ticks), u64 file id,
//                      u8 sums (SumIsXx, SumHasSha256), u32 the 32-bit sum,
//                      and 32 bytes of SHA-256 when SumHasSha256
//   seal             32 bytes: SHA-256 of every byte before it
// Nothing follows the seal.
namespace VerifiedStateFormat
{
constexpr const char Magic[] = "LVERIFY2";
// The first layout, without the manifest's entry count: an earlier launcher's.
constexpr const char EarlierMagic[] = "LVERIFY1";
constexpr size_t MagicSize = 8;
constexpr size_t DigestSize = 32;
constexpr uint8_t SumIsXx = 1;
constexpr uint8_t SumHasSha256 = 2;
constexpr uint8_t SignedFlag = 1;
// A name's u16 count, size, time, id, the sums' byte and the 32-bit sum.
constexpr size_t FileRecordMinimum = 2 + 8 + 8 + 8 + 1 + 4;
constexpr size_t MaxVersionBytes = 256;
// A record is read whole; about 100 bytes a file, so this holds a client of
// more than a million files.
constexpr uint64_t MaxRecordBytes = 128u << 20;
// Its name at the top of the publish folder, and the temporary it is written
// through. No manifest may name either (IsSafeManifestName).
constexpr const char16_t RecordName[] = u"Launcher.verified";
constexpr const char16_t TemporaryName[] = u"Launcher.verified.td";
} // namespace VerifiedStateFormat
