#pragma once

#include "Sha256.h"

#include <cstddef>
#include <cstdint>

// SHA-256 written here (FIPS 180-4), for the Windows build: CNG's hash runs at
// about 20 MB/s under Wine, while the processor's SHA instructions (SHA-NI)
// give well over a gigabyte a second. Without them a plain implementation
// runs. The tests hold both to the published test vectors and to OpenSSL.

// The compression function over `count` whole 64-byte blocks.
using Sha256BlockFunction = void (*)(uint32_t state[8], const uint8_t* blocks, size_t count);

// The two implementations behind BuiltInSha256, which picks one on first use.
// Sha256BlocksHardware may only be called when HasShaInstructions() is true.
bool HasShaInstructions();
void Sha256BlocksHardware(uint32_t state[8], const uint8_t* blocks, size_t count);
void Sha256BlocksSoftware(uint32_t state[8], const uint8_t* blocks, size_t count);

class BuiltInSha256
{
public:
    // `blocks` null: the processor's instructions where it has them.
    explicit BuiltInSha256(Sha256BlockFunction blocks = nullptr);

    void Update(const void* data, size_t length);
    // The digest; the object starts afresh afterwards.
    Sha256Digest Finish();

private:
    void Restart();

    Sha256BlockFunction Blocks;
    uint32_t State[8];
    uint8_t Pending[64];
    size_t PendingLength = 0;
    uint64_t TotalLength = 0;
};
