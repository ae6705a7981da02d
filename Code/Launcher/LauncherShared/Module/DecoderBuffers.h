#pragma once

#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace PackageWorkerInternal
{
// A decoder's buffers, kept from one packed file to the next: fresh ones for
// each file of some size map and unmap its pages every time, which costs more
// the more decoders run (unmapping interrupts the cores of the other threads).
// Only buffers up to KeptSize are kept, so a decoder holds what the file at
// hand needs and at most twice KeptSize more.
struct DecoderBuffers
{
    static constexpr size_t KeptSize = 16 << 20;

    std::vector<uint8_t> Packed;
    std::vector<uint8_t> Unpacked;

    // Empty buffers for the next file (emptied first: growing one would copy
    // the earlier file's bytes).
    void Clear()
    {
        for (std::vector<uint8_t>* buffer : {&Packed, &Unpacked})
        {
            buffer->clear();
            if (buffer->capacity() > KeptSize)
                std::vector<uint8_t>().swap(*buffer);
        }
    }
};
} // namespace PackageWorkerInternal
