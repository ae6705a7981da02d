#pragma once

#include <cstdint>

// A decoded picture. Each drawing backend decodes into its own kind and draws
// only its own; the skin sees the size.
class xImage
{
public:
    virtual ~xImage() = default;
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
};
