#include "CapturedLog.h"
#include "EngineText.h"
#include "ShippedSkin.h"
#include "SkinPainter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

namespace
{
std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

SkinDocument Parse(const std::string& text, bool expected = true)
{
    SkinDocument document;
    EXPECT_EQ(expected, ParseSkinDocument(Bytes(text), u"Default", document)) << text;
    return document;
}
} // namespace

// Their backgrounds fill the windows and every button face is as large as its button, so
// nothing is cut or shows through; each picture is decoded once however often it is named.
TEST(SkinDocument, ShippedDocumentsDescribeTheirWindowsAndPicturesFitThem)
{
    const auto size = [](const std::shared_ptr<xImage>& picture) {
        return picture == nullptr ? std::make_pair(-1, -1)
                                  : std::make_pair(picture->Width(), picture->Height());
    };
    struct Expected
    {
        const char16_t* Name;
        int32_t Width, Height, Corner, MinWidth, MaxWidth, Transparency;
        bool Topmost, SizingFrame;
        size_t Images, Buttons, Pages;
    };
    const Expected windows[] = {
        {u"SplashScreen.xml", 591, 304, 5, 591, 591, 1, true, false, 1, 0, 0},
        {u"MainFrame.xml", 1280, 829, 5, 1280, 1280, 1, false, false, 1, 7, 1},
        {u"GameWindow.xml", 1380, 820, 0, 800, 5120, 0, false, true, 0, 5, 0},
    };
    for (const Expected& e : windows)
    {
        SCOPED_TRACE(Narrow(e.Name));
        SkinDocument document = ShippedDocument(e.Name);
        const WindowDescription& w = document.Window;
        EXPECT_EQ(
            (std::vector<int32_t>{w.XDesiredPositionOnScreen, w.WidthDesiredOnScreen, w.HeightDesiredOnScreen,
                                  w.CornerRadius, w.MinWidth, w.MaxWidth, w.Transparency}),
            (std::vector<int32_t>{-1, e.Width, e.Height, e.Corner, e.MinWidth, e.MaxWidth, e.Transparency}));
        EXPECT_EQ(std::make_pair(w.IsTopmostWindow, w.HasSizingFrame),
                  std::make_pair(e.Topmost, e.SizingFrame));
        EXPECT_TRUE(w.IsInTaskbar && w.IsRegularWindow && w.ActivateWhenFirstShown && !w.HasOSWindowBorder);
        EXPECT_EQ(w.Title, xWString(u"\u971C\u77F3\u7EAA\u5143"));
        EXPECT_EQ(w.Opacity, 1.0f);
        ASSERT_EQ(std::make_tuple(document.Images.size(), document.Buttons.size(), document.Pages.size()),
                  std::make_tuple(e.Images, e.Buttons, e.Pages));

        std::map<std::string, int> asked;
        LoadSkinPictures(document,
                         [&](const xString& path)
                         {
                             ++asked[path.c_str()];
                             return LoadSkinPicture(path);
                         });
        for (const auto& [path, times] : asked)
            EXPECT_EQ(times, 1) << path << " loaded again";
        for (const SkinImage& image : document.Images)
            EXPECT_EQ(size(image.Picture), std::make_pair(e.Width, e.Height));
        for (const SkinButton& button : document.Buttons)
        {
            for (const auto& face : {button.NormalFace, button.HoverFace, button.ClickFace})
                EXPECT_EQ(size(face), std::make_pair(button.Rect.Width(), button.Rect.Height()))
                    << button.Id.c_str();
            EXPECT_TRUE(button.HoverPath != button.ClickPath || button.HoverFace == button.ClickFace)
                << "one picture shared";
        }
    }
    EXPECT_EQ(size(LoadSkinPicture("loading_bar.png")), std::make_pair(415, 7)) << "the splash bar's groove";
    EXPECT_EQ(LoadSkinPicture(""), nullptr);
    EXPECT_EQ(LoadSkinPicture("no-such-picture.png"), nullptr);

    // The build writes its LAUNCHER_LOGIN_PAGE_URL into the main frame's
    // document, padded with blanks to the document's field of 56 characters.
    const SkinDocument mainFrame = ShippedDocument(u"MainFrame.xml");
    std::string page = LAUNCHER_TEST_LOGIN_PAGE_URL;
    page.resize(std::max<size_t>(page.size(), 56), ' ');
    EXPECT_TRUE(mainFrame.HasPageAddress);
    EXPECT_EQ(std::string(mainFrame.PageAddress.c_str()), page);
}

TEST(SkinDocument, AttributeValuesReadTheWayTheCLibraryReadsThem)
{
    const struct
    {
        const char* Text;
        int32_t Integer;
        bool Flag;
    } cases[] = {
        {"12px", 12, true}, {"  -5", -5, false}, {"true", 0, false}, {"-99999999999", INT32_MIN, false}};
    for (const auto& c : cases)
    {
        EXPECT_EQ(ReadSkinInteger(c.Text), c.Integer) << c.Text;
        EXPECT_EQ(ReadSkinFlag(c.Text), c.Flag) << c.Text;
    }
    EXPECT_FLOAT_EQ(ReadSkinFloat("0.75"), 0.75f);
    EXPECT_FLOAT_EQ(ReadSkinFloat("x"), 0.0f);

    // The window's alpha is Opacity x 255 as an integer, so the document's value is
    // held to 0..1: "1e300" once reached the conversion as infinity.
    const std::pair<const char*, float> opacities[] = {
        {"0.5", 0.5f}, {"1.5", 1.0f}, {"-0.25", 0.0f}, {"1e300", 1.0f}, {"nan", 1.0f},
    };
    for (const auto& [text, opacity] : opacities)
    {
        const SkinDocument document = Parse(std::string("<Skin><Window Opacity='") + text + "'/></Skin>");
        EXPECT_EQ(document.Window.Opacity, opacity) << text;
    }
}

TEST(SkinDocument, NamesIgnoreCaseAndListsKeepDocumentOrder)
{
    const SkinDocument document =
        Parse("\xEF\xBB\xBF<anything><frame hassizingframe='1abc' ISTOPMOSTWINDOW='yes' "
              "Title='' WidthDesiredOnScreen='640'>"
              "<button ID='a' posx='12px' PosY='' WIDTH='10' Height='5' TOPRIGHT='1'/>"
              "<Image Path='first.png' PosX='3'/>"
              "<BUTTON ID='a' Normal='n.png' OffsetClick='2'/>"
              "<WebPage URL='http://one/' PosX='1' Width='2'/>"
              "<image Path='second.png'/>"
              "<webpage ID='x' URL='http://two/  ' PosY='7' Height='3'/>"
              "</frame></anything>");
    const WindowDescription& w = document.Window;
    EXPECT_EQ(
        std::make_tuple(w.HasSizingFrame, w.IsTopmostWindow, w.WidthDesiredOnScreen, w.MaxHeight, w.Opacity),
        std::make_tuple(true, false, 640, 0, 1.0f))
        << "flags read as integers, absent values as nothing, absent opacity as 1";
    EXPECT_EQ(w.Title, xWString(u"Default")) << "an empty title takes the product's";
    ASSERT_EQ(document.Images.size(), 2u);
    EXPECT_TRUE(document.Images[0].Path == "first.png" && document.Images[0].Left == 3 &&
                document.Images[1].Path == "second.png");

    ASSERT_EQ(document.Buttons.size(), 2u);
    const SkinButton& first = document.Buttons[0];
    EXPECT_EQ(first.Id, "a");
    EXPECT_EQ((std::vector<int32_t>{first.AnchorX, first.Rect.Left, first.Rect.Top, first.Rect.Right,
                                    first.Rect.Bottom}),
              (std::vector<int32_t>{12, 12, 0, 22, 5}));
    EXPECT_TRUE(first.TopRight && first.Visible && first.State == SkinButtonState::Normal);
    const SkinButton& second = document.Buttons[1];
    EXPECT_TRUE(second.NormalPath == "n.png" && second.OffsetClick == 2 && second.HoverPath.IsEmpty());

    ASSERT_EQ(document.Pages.size(), 2u);
    EXPECT_EQ(std::make_pair(document.Pages[0].Width(), document.Pages[1].Top), std::make_pair(2, 7));
    EXPECT_EQ(document.PageAddress, "http://two/  ") << "the last address, blanks kept, serves every page";
}

TEST(SkinDocument, DamagedDocumentsFailOrStayBounded)
{
    CapturedLog log;
    Parse("<Skin><Window>", false);
    Parse("<Skin/>", false);
    Parse("", false);
    EXPECT_EQ(log.MessagesStartingWith("E Skin document").size(), 3u);

    // Values held to the screen's range are the fuzz target's property (FuzzSkinDocument).
    // Nesting: the limit itself parses; one level more, however written, is refused unparsed.
    const auto nested = [](size_t depth, const std::string& open, const std::string& close)
    {
        std::string text;
        for (size_t i = 0; i < depth; ++i)
            text += open;
        for (size_t i = 0; i < depth; ++i)
            text += close;
        return text;
    };
    Parse("<Skin><Window>" + nested(MaxSkinDepth - 2, "<a b='>'>", "</a>") + "</Window></Skin>");
    Parse("<Skin><Window>" + nested(MaxSkinDepth - 1, "<a b='/>'><!-- <c/> -->", "</a>") + "</Window></Skin>",
          false);
    Parse(nested(200000, "<a>", ""), false);
    EXPECT_EQ(log.MessagesStartingWith("E Skin document nests elements deeper than 64 levels").size(), 2u);

    std::string many = "<Skin><Window>";
    for (int i = 0; i < 10000; ++i)
        many += "<Button ID='b'/><Image/>";
    const SkinDocument crowded = Parse(many + "</Window></Skin>");
    EXPECT_EQ(std::make_pair(crowded.Buttons.size(), crowded.Images.size()),
              std::make_pair(size_t(MaxSkinElements), size_t(MaxSkinElements)));
    EXPECT_EQ(log.MessagesStartingWith("E Skin document has more than").size(), 2u) << "one line per kind";
}
