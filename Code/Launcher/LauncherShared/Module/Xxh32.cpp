#include "Xxh32.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

uint32_t Xxh32(const void* data, size_t length)
{
    return XXH32(data, length, 0);
}
