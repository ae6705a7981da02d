#include "xDisplayInfo.h"

bool DecodeEdidResolution(const uint8_t* edid, size_t length, int32_t& width, int32_t& height)
{
    constexpr size_t DescriptorEnd = 72;
    if (!edid || length < DescriptorEnd)
        return false;
    // Horizontal active pixels: byte 56 and the high nibble of byte 58; vertical
    // active lines: byte 59 and the high nibble of byte 61.
    width = ((edid[58] >> 4) << 8) | edid[56];
    height = ((edid[61] >> 4) << 8) | edid[59];
    return true;
}
