#pragma once

#include "SkinDocument.h"
#include "xWindowRules.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// How a skinned window's buttons follow the window and the pointer, as plain
// values; the skinned window applies the answers.

// Moves each TopRight button so that its left edge stays AnchorX pixels from
// the right edge of a window `windowWidth` wide; its width stays.
void AnchorTopRightButtons(std::vector<SkinButton>& buttons, int32_t windowWidth);

// The zone under a point (relative to the window's top-left): the client zone
// over a visible button, the caption elsewhere, so that the window is dragged
// by any point outside its buttons.
WindowZone SkinHitTest(const std::vector<SkinButton>& buttons, int32_t x, int32_t y);

// Each visible button's state for a pointer at (x, y): Click under the pointer
// while the primary button is held, Hover under it otherwise, else Normal.
// True when any state changed (the window then repaints once).
bool ApplyPointerToButtons(std::vector<SkinButton>& buttons, int32_t x, int32_t y, bool primaryPressed);

// The visible buttons under a point, in list order: the candidates for a click.
std::vector<size_t> ButtonsUnderPoint(const std::vector<SkinButton>& buttons, int32_t x, int32_t y);

// The picture a button shows in its state and where its top-left corner goes:
// shifted down and right by the state's offset (held to 32 bits); a missing
// hover or click face falls back to the normal one with the state's offset.
struct SkinFace
{
    const xImage* Picture = nullptr; // none: nothing is drawn
    int32_t Left = 0;
    int32_t Top = 0;
};
SkinFace ChooseButtonFace(const SkinButton& button);
