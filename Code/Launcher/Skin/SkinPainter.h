#pragma once

#include "SkinDocument.h"
#include "SplashView.h"
#include "xCanvas.h"
#include "xImage.h"
#include "xString.h"

#include <cstdint>
#include <functional>
#include <memory>

// What a skinned window paints, through any canvas; the window only supplies
// the surface and puts it on screen.

// A picture of the resource pack, decoded for this platform's canvas; null for
// an empty path or a member that is missing, empty or undecodable. Nothing is
// logged: a missing picture is skipped when painting.
std::shared_ptr<xImage> LoadSkinPicture(const xString& path);

using SkinPictureLoader = std::function<std::shared_ptr<xImage>(const xString& path)>;

// Fills each image's picture and each button's three faces. A path named
// several times is loaded once and its picture shared.
void LoadSkinPictures(SkinDocument& document, const SkinPictureLoader& load = LoadSkinPicture);

// Every image with a picture at its place and its own size, in list order; then
// `paintExtra` (the window's own drawing, may be empty); then each visible
// button's face for its state, shifted by the state's offset.
void PaintSkinContent(xCanvas& canvas, const SkinDocument& document,
                      const std::function<void(xCanvas&)>& paintExtra = nullptr);

// One line of skin text (colour 0x00BBGGRR, opaque) left-aligned and vertically
// centred in `rect`, ending in "…" when it does not fit; `large` picks the
// larger of the two skin fonts.
void DrawSkinText(xCanvas& canvas, const xWString& text, uint32_t colour, const xTextRect& rect, bool large);

constexpr uint32_t SplashTextColour = 0x00FFFFFF;

// The splash screen's bar (the left part of `bar`, when there is one and the
// view shows it) and its lines, white in the normal font: one at a fixed place,
// or two centred in a window `windowWidth` wide in the self-update layout.
void PaintSplash(xCanvas& canvas, const SplashView& view, const xImage* bar, int32_t windowWidth);
