#include "SkinLayout.h"

#include <climits>

void AnchorTopRightButtons(std::vector<SkinButton>& buttons, int32_t windowWidth)
{
    for (SkinButton& button : buttons)
    {
        if (!button.TopRight)
            continue;
        const int64_t width = static_cast<int64_t>(button.Rect.Right) - button.Rect.Left;
        const int64_t left = static_cast<int64_t>(windowWidth) - button.AnchorX;
        button.Rect.Left = ClampToInt32(left);
        button.Rect.Right = ClampToInt32(left + width);
    }
}

WindowZone SkinHitTest(const std::vector<SkinButton>& buttons, int32_t x, int32_t y)
{
    for (const SkinButton& button : buttons)
    {
        if (button.Visible && button.Rect.Contains(x, y))
            return WindowZone::Client;
    }
    return WindowZone::Caption;
}

bool ApplyPointerToButtons(std::vector<SkinButton>& buttons, int32_t x, int32_t y, bool primaryPressed)
{
    bool changed = false;
    for (SkinButton& button : buttons)
    {
        if (!button.Visible)
            continue;
        SkinButtonState state = SkinButtonState::Normal;
        if (button.Rect.Contains(x, y))
            state = primaryPressed ? SkinButtonState::Click : SkinButtonState::Hover;
        changed = changed || state != button.State;
        button.State = state;
    }
    return changed;
}

std::vector<size_t> ButtonsUnderPoint(const std::vector<SkinButton>& buttons, int32_t x, int32_t y)
{
    std::vector<size_t> under;
    for (size_t i = 0; i < buttons.size(); ++i)
    {
        if (buttons[i].Visible && buttons[i].Rect.Contains(x, y))
            under.push_back(i);
    }
    return under;
}

SkinFace ChooseButtonFace(const SkinButton& button)
{
    const std::shared_ptr<xImage>* picture = &button.NormalFace;
    int32_t offset = 0;
    if (button.State == SkinButtonState::Hover)
    {
        picture = &button.HoverFace;
        offset = button.OffsetHover;
    }
    else if (button.State == SkinButtonState::Click)
    {
        picture = &button.ClickFace;
        offset = button.OffsetClick;
    }
    SkinFace face;
    face.Picture = *picture ? picture->get() : button.NormalFace.get();
    face.Left = SaturatingAdd(button.Rect.Left, offset);
    face.Top = SaturatingAdd(button.Rect.Top, offset);
    return face;
}
