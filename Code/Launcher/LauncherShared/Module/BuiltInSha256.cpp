#include "BuiltInSha256.h"

#include <algorithm>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#define SHA256_X86 1
#include <cpuid.h>
#include <immintrin.h>
#endif

namespace
{
alignas(16) constexpr uint32_t RoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr uint32_t InitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                      0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

inline uint32_t RotateRight(uint32_t value, int bits)
{
    return (value >> bits) | (value << (32 - bits));
}

inline uint32_t LoadBigEndian(const uint8_t* bytes)
{
    return uint32_t{bytes[0]} << 24 | uint32_t{bytes[1]} << 16 | uint32_t{bytes[2]} << 8 | bytes[3];
}

Sha256BlockFunction ChooseBlocks()
{
    return HasShaInstructions() ? Sha256BlocksHardware : Sha256BlocksSoftware;
}
} // namespace

void Sha256BlocksSoftware(uint32_t state[8], const uint8_t* blocks, size_t count)
{
    for (; count > 0; --count, blocks += 64)
    {
        uint32_t w[64];
        for (int i = 0; i < 16; ++i)
            w[i] = LoadBigEndian(blocks + 4 * i);
        for (int i = 16; i < 64; ++i)
        {
            const uint32_t s0 = RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
            const uint32_t s1 = RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
            w[i] = w[i - 16] + s0 + w[i - 7] + s1;
        }
        uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
        uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
        for (int i = 0; i < 64; ++i)
        {
            const uint32_t s1 = RotateRight(e, 6) ^ RotateRight(e, 11) ^ RotateRight(e, 25);
            const uint32_t choice = (e & f) ^ (~e & g);
            const uint32_t t1 = h + s1 + choice + RoundConstants[i] + w[i];
            const uint32_t s0 = RotateRight(a, 2) ^ RotateRight(a, 13) ^ RotateRight(a, 22);
            const uint32_t majority = (a & b) ^ (a & c) ^ (b & c);
            h = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + s0 + majority;
        }
        state[0] += a;
        state[1] += b;
        state[2] += c;
        state[3] += d;
        state[4] += e;
        state[5] += f;
        state[6] += g;
        state[7] += h;
    }
}

#ifdef SHA256_X86

bool HasShaInstructions()
{
    unsigned int eax = 0, ebx = 0, ecx = 0, edx = 0;
    // SSSE3 and SSE4.1 for the byte shuffles and blends around the SHA rounds.
    if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx) || (ecx & (1u << 9)) == 0 || (ecx & (1u << 19)) == 0)
        return false;
    if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx))
        return false;
    return (ebx & (1u << 29)) != 0;
}

// Only this function is compiled for the SHA extensions, so the program as a
// whole still runs on any x86-64 processor. The instructions keep the state as
// ABEF and CDGH and take two rounds per sha256rnds2: each group of four message
// words (plus their constants) feeds two of them.
__attribute__((target("sha,sse4.1"))) void Sha256BlocksHardware(uint32_t state[8], const uint8_t* blocks,
                                                                size_t count)
{
    const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bll, 0x0405060700010203ll);
    const __m128i dcba = _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state)), 0xB1);
    const __m128i efgh =
        _mm_shuffle_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4)), 0x1B);
    __m128i abef = _mm_alignr_epi8(dcba, efgh, 8);
    __m128i cdgh = _mm_blend_epi16(efgh, dcba, 0xF0);
    for (; count > 0; --count, blocks += 64)
    {
        const __m128i abefBefore = abef;
        const __m128i cdghBefore = cdgh;
        __m128i words[4]; // the last four groups of message words, group g at g % 4
#pragma GCC unroll 16
        for (int group = 0; group < 16; ++group)
        {
            __m128i& slot = words[group % 4];
            if (group < 4)
                slot = _mm_shuffle_epi8(
                    _mm_loadu_si128(reinterpret_cast<const __m128i*>(blocks + 16 * group)), byteSwap);
            else
            {
                const __m128i& last = words[(group + 3) % 4];
                const __m128i shifted = _mm_alignr_epi8(last, words[(group + 2) % 4], 4);
                slot = _mm_sha256msg2_epu32(
                    _mm_add_epi32(_mm_sha256msg1_epu32(slot, words[(group + 1) % 4]), shifted), last);
            }
            const __m128i input = _mm_add_epi32(
                slot, _mm_load_si128(reinterpret_cast<const __m128i*>(RoundConstants + 4 * group)));
            cdgh = _mm_sha256rnds2_epu32(cdgh, abef, input);
            abef = _mm_sha256rnds2_epu32(abef, cdgh, _mm_shuffle_epi32(input, 0x0E));
        }
        abef = _mm_add_epi32(abef, abefBefore);
        cdgh = _mm_add_epi32(cdgh, cdghBefore);
    }
    const __m128i feba = _mm_shuffle_epi32(abef, 0x1B);
    const __m128i dchg = _mm_shuffle_epi32(cdgh, 0xB1);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

#else

bool HasShaInstructions()
{
    return false;
}

void Sha256BlocksHardware(uint32_t state[8], const uint8_t* blocks, size_t count)
{
    Sha256BlocksSoftware(state, blocks, count);
}

#endif

BuiltInSha256::BuiltInSha256(Sha256BlockFunction blocks)
{
    // Decided once; a function-local static is initialised exactly once even
    // when several threads make the first call together.
    static const Sha256BlockFunction chosen = ChooseBlocks();
    Blocks = blocks != nullptr ? blocks : chosen;
    Restart();
}

void BuiltInSha256::Restart()
{
    std::memcpy(State, InitialState, sizeof(State));
    PendingLength = 0;
    TotalLength = 0;
}

void BuiltInSha256::Update(const void* data, size_t length)
{
    // An empty piece may come without a buffer, which memcpy must not see.
    if (length == 0)
        return;
    const uint8_t* bytes = static_cast<const uint8_t*>(data);
    TotalLength += length;
    if (PendingLength > 0)
    {
        const size_t taken = std::min(length, sizeof(Pending) - PendingLength);
        std::memcpy(Pending + PendingLength, bytes, taken);
        PendingLength += taken;
        bytes += taken;
        length -= taken;
        if (PendingLength < sizeof(Pending))
            return;
        Blocks(State, Pending, 1);
        PendingLength = 0;
    }
    // Whole blocks straight from the caller's bytes.
    Blocks(State, bytes, length / 64);
    bytes += length / 64 * 64;
    PendingLength = length % 64;
    std::memcpy(Pending, bytes, PendingLength);
}

Sha256Digest BuiltInSha256::Finish()
{
    // A one bit, zeros, and the message's length in bits, big-endian, to end a block.
    const uint64_t bits = TotalLength * 8;
    uint8_t tail[72] = {0x80};
    const size_t padding = (PendingLength < 56 ? 56 : 120) - PendingLength;
    for (int i = 0; i < 8; ++i)
        tail[padding + i] = static_cast<uint8_t>(bits >> (56 - 8 * i));
    Update(tail, padding + 8);
    Sha256Digest digest;
    for (size_t i = 0; i < 8; ++i)
    {
        digest[4 * i] = static_cast<uint8_t>(State[i] >> 24);
        digest[4 * i + 1] = static_cast<uint8_t>(State[i] >> 16);
        digest[4 * i + 2] = static_cast<uint8_t>(State[i] >> 8);
        digest[4 * i + 3] = static_cast<uint8_t>(State[i]);
    }
    Restart();
    return digest;
}
