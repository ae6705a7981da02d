// Any bytes as a skin document from the pack. A refused text leaves an empty
// document; an accepted one stays within its element, depth and coordinate limits and a usable opacity,
// and its buttons follow the window and the pointer consistently.
#include "FuzzCheck.h"
#include "SkinDocument.h"
#include "SkinLayout.h"

#include <climits>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::vector<uint8_t> text(data, data + size);
    SkinDocument document;
    document.Buttons.resize(1);
    if (!ParseSkinDocument(text, u"Default", document))
    {
        FUZZ_CHECK(document.Buttons.empty() && document.Images.empty() && document.Pages.empty());
        FUZZ_CHECK(!document.HasPageAddress);
        return 0;
    }
    FUZZ_CHECK(document.Images.size() <= MaxSkinElements && document.Buttons.size() <= MaxSkinElements &&
               document.Pages.size() <= MaxSkinElements);
    FUZZ_CHECK(!document.Window.Title.IsEmpty());
    FUZZ_CHECK(document.Window.Opacity >= 0.0f && document.Window.Opacity <= 1.0f);
    FUZZ_CHECK(!document.HasPageAddress || !document.Pages.empty());
    // Nothing deeper than the limit reaches the parser; every value stays within
    // the screen's range, so no sum of two of them wraps.
    FUZZ_CHECK(SkinElementDepth(text, MaxSkinDepth) <= MaxSkinDepth);
    const auto bounded = [](int64_t value, int64_t times)
    { return value >= -times * MaxSkinCoordinate && value <= times * MaxSkinCoordinate; };
    const WindowDescription& window = document.Window;
    for (int32_t value : {window.XDesiredPositionOnScreen, window.YDesiredPositionOnScreen,
                          window.WidthDesiredOnScreen, window.HeightDesiredOnScreen, window.CornerRadius,
                          window.MinWidth, window.MinHeight, window.MaxWidth, window.MaxHeight})
        FUZZ_CHECK(bounded(value, 1));
    for (const SkinImage& image : document.Images)
        FUZZ_CHECK(bounded(image.Left, 1) && bounded(image.Top, 1));
    std::vector<SkinRect> rects = document.Pages;
    for (const SkinButton& button : document.Buttons)
    {
        rects.push_back(button.Rect);
        FUZZ_CHECK(bounded(button.OffsetHover, 1) && bounded(button.OffsetClick, 1));
    }
    for (const SkinRect& rect : rects)
        FUZZ_CHECK(bounded(rect.Left, 1) && bounded(rect.Top, 1) && bounded(rect.Right, 2) &&
                   bounded(rect.Bottom, 2) && bounded(rect.Width(), 1) && bounded(rect.Height(), 1));

    // The buttons follow a window of the document's width and keep their widths
    // unless a width reaches past 32 bits.
    std::vector<SkinButton> buttons = document.Buttons;
    AnchorTopRightButtons(buttons, document.Window.WidthDesiredOnScreen);
    for (size_t i = 0; i < buttons.size(); ++i)
    {
        const SkinButton& moved = buttons[i];
        const SkinButton& read = document.Buttons[i];
        FUZZ_CHECK(moved.Rect.Top == read.Rect.Top && moved.Rect.Bottom == read.Rect.Bottom);
        if (!read.TopRight)
            FUZZ_CHECK(moved.Rect.Left == read.Rect.Left && moved.Rect.Right == read.Rect.Right);
        const int64_t left = static_cast<int64_t>(document.Window.WidthDesiredOnScreen) - read.AnchorX;
        const int64_t right = left + (static_cast<int64_t>(read.Rect.Right) - read.Rect.Left);
        if (read.TopRight && left >= INT32_MIN && left <= INT32_MAX && right >= INT32_MIN &&
            right <= INT32_MAX)
            FUZZ_CHECK(moved.Rect.Width() == read.Rect.Width());
    }

    // A pointer at each button's corner: the hit test, the buttons under it and
    // their states agree, and a second move to the same point changes nothing.
    for (size_t i = 0; i < buttons.size() && i < 16; ++i)
    {
        const int32_t x = buttons[i].Rect.Left;
        const int32_t y = buttons[i].Rect.Top;
        const std::vector<size_t> under = ButtonsUnderPoint(buttons, x, y);
        FUZZ_CHECK((SkinHitTest(buttons, x, y) == WindowZone::Client) == !under.empty());
        const bool pressed = (i & 1) != 0;
        ApplyPointerToButtons(buttons, x, y, pressed);
        FUZZ_CHECK(!ApplyPointerToButtons(buttons, x, y, pressed));
        for (size_t j : under)
            FUZZ_CHECK(buttons[j].State == (pressed ? SkinButtonState::Click : SkinButtonState::Hover));
        for (size_t j = 0; j < buttons.size(); ++j)
            if (buttons[j].State != SkinButtonState::Normal)
                FUZZ_CHECK(buttons[j].Rect.Contains(x, y));
        const SkinFace face = ChooseButtonFace(buttons[i]);
        FUZZ_CHECK(face.Picture == nullptr);
        // The face lies at the button's corner shifted by its state's offset, held to 32 bits.
        const int32_t offset = buttons[i].State == SkinButtonState::Hover   ? buttons[i].OffsetHover
                               : buttons[i].State == SkinButtonState::Click ? buttons[i].OffsetClick
                                                                            : 0;
        FUZZ_CHECK(face.Left == ClampToInt32(int64_t(x) + offset) &&
                   face.Top == ClampToInt32(int64_t(y) + offset));
    }

    // An integer as the documents write it reads as itself.
    if (size >= 4)
    {
        const int32_t value = static_cast<int32_t>(static_cast<uint32_t>(data[0]) | (data[1] << 8) |
                                                   (data[2] << 16) | (static_cast<uint32_t>(data[3]) << 24));
        FUZZ_CHECK(ReadSkinInteger(std::to_string(value).c_str()) == value);
    }
    return 0;
}
