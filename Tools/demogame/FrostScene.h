#pragma once

#include "GdiObject.h"

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The demo game's picture: a night sky over snowy mountains, a slowly turning
// frost crystal, drifting snow, the game's title and the login text the
// launcher passed. Positions are fractions of the window, so the scene fills
// whatever size the launcher's view has.
class FrostScene
{
public:
    explicit FrostScene(std::wstring login);

    void Advance(double seconds);
    void Paint(HDC dc, int width, int height);

private:
    struct Star
    {
        float X, Y, Phase, Speed;
        int Size;
    };
    struct Flake
    {
        float X, Y, Fall, Sway, Phase;
        int Layer;
    };
    struct Peak
    {
        float X, Height;
    };

    float Random();
    void PaintSky(HDC dc, int width, int height) const;
    void PaintMoon(HDC dc, int width, int height) const;
    void PaintRange(HDC dc, int width, int height, const std::vector<Peak>& peaks, float base, COLORREF rock,
                    COLORREF snow) const;
    void PaintGround(HDC dc, int width, int height) const;
    void PaintCrystal(HDC dc, int width, int height) const;
    void PaintFlakes(HDC dc, int width, int height) const;
    void PaintTexts(HDC dc, int width, int height);
    HFONT Font(GdiObject<HFONT>& font, int& cachedHeight, int height, int weight,
               const std::vector<const wchar_t*>& faces, HDC dc);

    std::wstring Login;
    uint32_t Seed = 0x2545F491u;
    double Time = 0.0;
    std::vector<Star> Stars;
    std::vector<Flake> Flakes;
    std::vector<Peak> FarPeaks;
    std::vector<Peak> NearPeaks;
    GdiObject<HFONT> TitleFont;
    GdiObject<HFONT> TextFont;
    int TitleHeight = 0;
    int TextHeight = 0;
};
