#pragma once

#include <cstddef>
#include <cstdint>

// XXH32 of xxHash with seed 0: the faster of the two file checksums a manifest can name.
uint32_t Xxh32(const void* data, size_t length);

// The same hash over data that arrives in pieces.
class Xxh32Stream
{
public:
    Xxh32Stream();
    ~Xxh32Stream();
    Xxh32Stream(const Xxh32Stream&) = delete;
    Xxh32Stream& operator=(const Xxh32Stream&) = delete;

    void Update(const void* data, size_t length);
    uint32_t Digest() const;

private:
    struct State;
    State* Own;
};
