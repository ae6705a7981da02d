#pragma once

#include "WindowDescription.h"
#include "xWindowRules.h"
#include "xString.h"

#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "xImage.h"

// A rectangle in window client coordinates; Right and Bottom lie just outside.
struct SkinRect
{
    int32_t Left = 0;
    int32_t Top = 0;
    int32_t Right = 0;
    int32_t Bottom = 0;

    int32_t Width() const { return Right - Left; }
    int32_t Height() const { return Bottom - Top; }
    bool Contains(int32_t x, int32_t y) const { return x >= Left && x < Right && y >= Top && y < Bottom; }
};

// A picture drawn at its own size with its top-left corner at (Left, Top).
struct SkinImage
{
    xString Path;
    int32_t Left = 0;
    int32_t Top = 0;
    std::shared_ptr<xImage> Picture; // none until loaded, or when the pack lacks it
};

enum class SkinButtonState : int32_t
{
    Normal = 0,
    Hover = 1,
    Click = 2,
};

// A picture button with a face for each state.
struct SkinButton
{
    xString Id;
    // Where the document put it; with TopRight, AnchorX counts from the window's
    // right edge to the button's left edge.
    int32_t AnchorX = 0;
    int32_t AnchorY = 0;
    SkinRect Rect;
    xString NormalPath;
    xString HoverPath;
    xString ClickPath;
    std::shared_ptr<xImage> NormalFace;
    std::shared_ptr<xImage> HoverFace;
    std::shared_ptr<xImage> ClickFace;
    int32_t OffsetHover = 0;
    int32_t OffsetClick = 0;
    bool TopRight = false;
    bool Visible = true;
    SkinButtonState State = SkinButtonState::Normal;
};

// Everything one skin document describes, before any window exists.
struct SkinDocument
{
    WindowDescription Window;
    std::vector<SkinImage> Images;
    std::vector<SkinButton> Buttons;
    // One rectangle per web page element, in document order.
    std::vector<SkinRect> Pages;
    // The last page address the document gives; every page shows it.
    xString PageAddress;
    bool HasPageAddress = false;
};

// Every position, size and offset a document gives is held to this many
// pixels either side of zero: window messages carry positions in 16-bit
// halves, and sums of such values (an edge, a face's offset, a window's place
// on screen) then stay far from 32-bit overflow.
constexpr int32_t MaxSkinCoordinate = 32767;
// Elements nest at most this deep (the shipped documents: 3). The parser
// recurses once per level, so a deeper text is refused before it is parsed.
constexpr size_t MaxSkinDepth = 64;

// How deep the text's elements nest, as the parser would see them (comments,
// declarations and quoted attribute values hold no elements); counting stops
// just past `limit`.
size_t SkinElementDepth(const std::vector<uint8_t>& text, size_t limit);

// A document holds at most this many elements of each kind; the rest are left
// out with a log line, so a damaged skin cannot make the launcher allocate
// without bound.
constexpr size_t MaxSkinElements = 256;

// Reads a skin document (UTF-8, byte-order mark allowed): the root's first child
// describes the window, and its Image, Button and WebPage children the widgets.
// Element and attribute names ignore ASCII case. False, with `document` left
// empty and a log line, for text that is no XML or has no root or window
// element. An absent or empty title becomes `defaultTitle`.
bool ParseSkinDocument(const std::vector<uint8_t>& text, const xWString& defaultTitle,
                       SkinDocument& document);

// Attribute values as the documents write them: an integer the way the C
// library reads one (leading blanks and a sign, up to the first non-digit, 0
// without digits; clamped to 32 bits), a flag that is true when the first
// character is "1", and a decimal float.
int32_t ReadSkinInteger(const char* text);

bool ReadSkinFlag(const char* text);
float ReadSkinFloat(const char* text);
