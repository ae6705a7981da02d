#pragma once

#include <cstddef>
#include <cstdint>

// XXH32 of xxHash with seed 0: the faster of the two file checksums a manifest can name.
uint32_t Xxh32(const void* data, size_t length);
