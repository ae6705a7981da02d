#include "ShippedSkin.h"

#include "xImageDecoder.h"

#include <gtest/gtest.h>

#include <vector>

TEST(ImageDecoder, BytesThatAreNoPictureGiveNone)
{
    const std::vector<uint8_t> png = PackFile(u"loading_bar.png");
    ASSERT_GT(png.size(), 33u);
    ASSERT_NE(DecodeImage(png), nullptr);
    auto changed = [&](size_t offset, size_t length, uint8_t value)
    {
        std::vector<uint8_t> bytes = png;
        std::fill_n(bytes.begin() + static_cast<ptrdiff_t>(offset), length, value);
        return bytes;
    };
    const std::pair<const char*, std::vector<uint8_t>> cases[] = {
        {"empty", {}},
        {"garbage", std::vector<uint8_t>(30, 'x')},
        {"cut inside the header chunk", std::vector<uint8_t>(png.begin(), png.begin() + 20)},
        {"signature damaged", changed(1, 1, 'Q')},
        {"first chunk is no header", changed(12, 1, 'i')},
        {"zero width", changed(16, 4, 0)},
    };
    for (const auto& [what, bytes] : cases)
        EXPECT_EQ(DecodeImage(bytes), nullptr) << what;
}
