#include "xImageDecoder.h"

#include <cstring>

namespace
{
// No drawing backend exists here yet; the skin still needs real picture sizes
// to lay out its windows, and a PNG states them in its first chunk.
class xSizedImage : public xImage
{
public:
    xSizedImage(int32_t width, int32_t height) : ImageWidth(width), ImageHeight(height) {}
    int32_t Width() const override { return ImageWidth; }
    int32_t Height() const override { return ImageHeight; }

private:
    int32_t ImageWidth;
    int32_t ImageHeight;
};

uint32_t ReadBigEndian32(const uint8_t* bytes)
{
    return (uint32_t(bytes[0]) << 24) | (uint32_t(bytes[1]) << 16) | (uint32_t(bytes[2]) << 8) | bytes[3];
}
} // namespace

std::shared_ptr<xImage> DecodeImage(const std::vector<uint8_t>& bytes)
{
    // Signature (8), then the IHDR chunk: length 13, type, width, height, and the
    // rest of its fields and CRC (9 + 4), which must be present too.
    static const uint8_t Signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    constexpr size_t HeaderEnd = 8 + 8 + 13 + 4;
    if (bytes.size() < HeaderEnd || std::memcmp(bytes.data(), Signature, sizeof(Signature)) != 0)
        return nullptr;
    const uint8_t* chunk = bytes.data() + 8;
    if (ReadBigEndian32(chunk) != 13 || std::memcmp(chunk + 4, "IHDR", 4) != 0)
        return nullptr;
    const uint32_t width = ReadBigEndian32(chunk + 8);
    const uint32_t height = ReadBigEndian32(chunk + 12);
    // PNG limits both to 2^31 - 1 and forbids zero.
    if (width == 0 || height == 0 || width > 0x7FFFFFFFu || height > 0x7FFFFFFFu)
        return nullptr;
    return std::make_shared<xSizedImage>(static_cast<int32_t>(width), static_cast<int32_t>(height));
}
