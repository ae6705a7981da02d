#pragma once

#include "xString.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

// The digest of the hash that nobody can force: the manifest names one for the
// package and for every client file beside their 32-bit sums, and a signed
// manifest carries its signature on to every file through it.
using Sha256Digest = std::array<uint8_t, 32>;

// SHA-256 of bytes that come in pieces. The platform part: OpenSSL natively
// (its EVP digest takes the processor's SHA instructions), the hash written
// here on Windows (BuiltInSha256.h: CNG under Wine hashes about 20 MB/s).
class Sha256
{
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;

    void Update(const void* data, size_t length);
    // The digest of every byte added; none when the hash could not be made (no
    // memory), which no expected digest matches. The object is spent afterwards.
    std::optional<Sha256Digest> Finish();

    static std::optional<Sha256Digest> Of(const void* data, size_t length);

private:
    struct State;
    std::unique_ptr<State> Os;
};

// Bytes as lowercase hex digits, two a byte: how a manifest writes a digest
// and the publisher an update key's public point.
xString HexText(const uint8_t* bytes, size_t size);
// As the manifest writes a digest: 64 lowercase hex digits.
xString Sha256Text(const Sha256Digest& digest);
// False (and `digest` untouched) for anything but 64 lowercase hex digits.
bool ParseSha256Text(const char* text, size_t length, Sha256Digest& digest);
