#pragma once

#include "xString.h"

#include <cstdint>

// Checks of the package worker, as functions of plain values and files.

// True when the file exists, is exactly `expectedSize` bytes, can be read whole,
// and its XXH32 (useXx) or CRC-32C equals `expected`. Reads in pieces, so a large
// file never needs its size in memory.
bool VerifyFile(const xWString& path, uint64_t expectedSize, uint32_t expected, bool useXx);

// A manifest name may only reach inside the publish folder: relative, "/" between
// folders, no drive or colon, no backslash, no "." or ".." component, no empty
// component, no control character, and not longer than MaxManifestNameLength.
// It must also mean the same file on Windows: none of * ? " < > |, no component
// ending in a dot or blank, no device name (CON, NUL, COM1…).
bool IsSafeManifestName(const xWString& name);
constexpr size_t MaxManifestNameLength = 1024;

// The whole package is fetched when more than half of its data is stale;
// exactly half still goes by ranges.
bool PrefersFullDownload(uint64_t neededBytes, uint64_t totalBytes);
