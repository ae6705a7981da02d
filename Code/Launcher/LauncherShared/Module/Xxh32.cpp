#include "Xxh32.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

uint32_t Xxh32(const void* data, size_t length)
{
    return XXH32(data, length, 0);
}

struct Xxh32Stream::State
{
    XXH32_state_t Hash;
};

Xxh32Stream::Xxh32Stream() : Own(new State())
{
    XXH32_reset(&Own->Hash, 0);
}

Xxh32Stream::~Xxh32Stream()
{
    delete Own;
}

void Xxh32Stream::Update(const void* data, size_t length)
{
    XXH32_update(&Own->Hash, data, length);
}

uint32_t Xxh32Stream::Digest() const
{
    return XXH32_digest(&Own->Hash);
}
