#include "SkinLayout.h"

#include <gtest/gtest.h>

#include <climits>
#include <utility>
#include <vector>

namespace
{
SkinButton Button(int32_t left, int32_t top, int32_t width, int32_t height, bool topRight = false)
{
    SkinButton button;
    button.AnchorX = left;
    button.AnchorY = top;
    button.Rect = {left, top, left + width, top + height};
    button.TopRight = topRight;
    return button;
}
} // namespace

TEST(SkinLayout, TopRightButtonsKeepTheirDistanceFromTheRightEdge)
{
    std::vector<SkinButton> buttons = {Button(32, 4, 25, 24, true), Button(10, 4, 25, 24)};
    AnchorTopRightButtons(buttons, 1380);
    EXPECT_EQ(std::make_pair(buttons[0].Rect.Left, buttons[0].Rect.Right), std::make_pair(1348, 1373));
    AnchorTopRightButtons(buttons, 1000);
    EXPECT_EQ(std::make_pair(buttons[0].Rect.Left, buttons[0].Rect.Right), std::make_pair(968, 993));
    EXPECT_EQ(buttons[1].Rect.Left, 10) << "other buttons keep their place";
}

TEST(SkinLayout, HitTestAndClicksSeeOnlyVisibleButtons)
{
    std::vector<SkinButton> buttons = {Button(0, 0, 20, 20), Button(10, 10, 20, 20), Button(50, 50, 10, 10)};
    buttons[2].Visible = false;
    EXPECT_EQ(SkinHitTest(buttons, 5, 5), WindowZone::Client);
    EXPECT_EQ(SkinHitTest(buttons, 55, 55), WindowZone::Caption) << "a hidden button's area drags the window";
    EXPECT_EQ(SkinHitTest(buttons, 20, 0), WindowZone::Caption) << "the right edge lies outside";
    EXPECT_EQ(ButtonsUnderPoint(buttons, 15, 15), (std::vector<size_t>{0, 1})) << "overlapping: list order";
    EXPECT_TRUE(ButtonsUnderPoint(buttons, 55, 55).empty());
}

TEST(SkinLayout, PointerSetsStatesAndReportsChanges)
{
    std::vector<SkinButton> buttons = {Button(0, 0, 20, 20), Button(40, 0, 20, 20)};
    EXPECT_TRUE(ApplyPointerToButtons(buttons, 5, 5, false));
    EXPECT_EQ(buttons[0].State, SkinButtonState::Hover);
    EXPECT_FALSE(ApplyPointerToButtons(buttons, 6, 6, false)) << "nothing changed: no repaint";
    EXPECT_TRUE(ApplyPointerToButtons(buttons, 6, 6, true));
    EXPECT_EQ(buttons[0].State, SkinButtonState::Click);
    EXPECT_TRUE(ApplyPointerToButtons(buttons, 45, 5, true)) << "pressed elsewhere, moved onto the second";
    EXPECT_EQ(buttons[0].State, SkinButtonState::Normal);
    EXPECT_EQ(buttons[1].State, SkinButtonState::Click);
}

TEST(SkinLayout, FacesShiftByTheirStateOffsetWithoutWrapping)
{
    struct Case
    {
        int32_t Left;
        SkinButtonState State;
        int32_t FaceLeft;
    };
    // Hover shifts by 2, click by -3; a button moved far right by its anchor stays there.
    const Case cases[] = {
        {10, SkinButtonState::Normal, 10},
        {10, SkinButtonState::Hover, 12},
        {10, SkinButtonState::Click, 7},
        {INT32_MAX - 1, SkinButtonState::Hover, INT32_MAX},
        {INT32_MIN + 1, SkinButtonState::Click, INT32_MIN},
    };
    for (const Case& c : cases)
    {
        SkinButton button = Button(c.Left, c.Left, 0, 0);
        button.OffsetHover = 2;
        button.OffsetClick = -3;
        button.State = c.State;
        const SkinFace face = ChooseButtonFace(button);
        EXPECT_EQ(std::make_pair(face.Left, face.Top), std::make_pair(c.FaceLeft, c.FaceLeft)) << &c - cases;
    }
}
