#pragma once

#include <cstddef>
#include <cstdint>

// SHA-256 of the system's own library, for the measurements beside the hash
// the launcher uses: OpenSSL natively, CNG (bcrypt) on Windows. False when it
// could not hash.
bool SystemSha256(const uint8_t* data, size_t size, uint8_t digest[32]);
