#include "RecordingCanvas.h"
#include "ResPack.h"
#include "SkinDocument.h"

#include "xImageDecoder.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace
{
std::vector<uint8_t> PackFile(const char16_t* name)
{
    // Unpacking takes a moment under the sanitizers: once is enough.
    ResPack& pack = TheResPack();
    if (pack.Names().empty())
        pack.Load();
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(pack.GetFile(name, bytes)) << xString(xWString(name)).c_str();
    return bytes;
}

std::shared_ptr<xImage> DecodePackFile(const xString& name)
{
    return DecodeImage(PackFile(xWString(name).c_str()));
}
} // namespace

TEST(ImageDecoder, ShippedPicturesHaveTheSizesTheDocumentsExpect)
{
    struct Expected
    {
        const char* Name;
        int32_t Width, Height;
    };
    // The main window's and splash window's backgrounds fill their windows; the
    // bar is what the splash layout stretches over; a link plate.
    const Expected pictures[] = {
        {"bg.png", 1280, 829},
        {"loading_bg.png", 591, 304},
        {"loading_bar.png", 415, 7},
        {"mainpage01.png", 90, 31},
    };
    for (const Expected& e : pictures)
    {
        std::shared_ptr<xImage> image = DecodePackFile(e.Name);
        ASSERT_NE(image, nullptr) << e.Name;
        EXPECT_EQ(std::make_pair(image->Width(), image->Height()), std::make_pair(e.Width, e.Height))
            << e.Name;
    }

    // Every button face is as large as the rectangle its document gives the button.
    for (const char16_t* documentName : {u"MainFrame.xml", u"GameWindow.xml"})
    {
        SkinDocument document;
        ASSERT_TRUE(ParseSkinDocument(PackFile(documentName), u"Default", document));
        ASSERT_FALSE(document.Buttons.empty());
        for (const SkinButton& button : document.Buttons)
            for (const xString& path : {button.NormalPath, button.HoverPath, button.ClickPath})
            {
                std::shared_ptr<xImage> face = DecodePackFile(path);
                ASSERT_NE(face, nullptr) << path.c_str();
                EXPECT_EQ(std::make_pair(face->Width(), face->Height()),
                          std::make_pair(button.Rect.Width(), button.Rect.Height()))
                    << path.c_str();
            }
    }
}

TEST(ImageDecoder, BytesThatAreNoPictureGiveNone)
{
    const std::vector<uint8_t> png = PackFile(u"loading_bar.png");
    ASSERT_GT(png.size(), 33u);
    auto changed = [&](size_t offset, uint8_t value)
    {
        std::vector<uint8_t> bytes = png;
        bytes[offset] = value;
        return bytes;
    };
    struct Case
    {
        const char* What;
        std::vector<uint8_t> Bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"garbage", std::vector<uint8_t>(30, 'x')},
        {"cut inside the header chunk", std::vector<uint8_t>(png.begin(), png.begin() + 20)},
        {"signature damaged", changed(1, 'Q')},
        {"first chunk is no header", changed(12, 'i')},
        {"zero width",
         [&]
         {
             std::vector<uint8_t> bytes = png;
             for (size_t i = 16; i < 20; ++i)
                 bytes[i] = 0;
             return bytes;
         }()},
    };
    for (const Case& c : cases)
        EXPECT_EQ(DecodeImage(c.Bytes), nullptr) << c.What;
}

TEST(ImageDecoder, WholePictureIsDrawnAsItsFullPart)
{
    std::shared_ptr<xImage> bar = DecodePackFile("loading_bar.png");
    ASSERT_NE(bar, nullptr);
    RecordingCanvas canvas;
    canvas.DrawImage(*bar, 87, 175);
    ASSERT_EQ(canvas.Images.size(), 1u);
    const RecordingCanvas::ImageDraw& d = canvas.Images[0];
    EXPECT_EQ(std::make_tuple(d.Picture, d.X, d.Y, d.SourceX, d.SourceY, d.Width, d.Height),
              std::make_tuple(static_cast<const xImage*>(bar.get()), 87, 175, 0, 0, 415, 7));
}
