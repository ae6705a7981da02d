#pragma once

#include "SceneCanvas.h"

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
    void Paint(SceneCanvas& canvas, int width, int height) const;

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
    void PaintSky(SceneCanvas& canvas, int width, int height) const;
    void PaintMoon(SceneCanvas& canvas, int width, int height) const;
    void PaintRange(SceneCanvas& canvas, int width, int height, const std::vector<Peak>& peaks, float base,
                    SceneColour rock, SceneColour snow) const;
    void PaintGround(SceneCanvas& canvas, int width, int height) const;
    void PaintCrystal(SceneCanvas& canvas, int width, int height) const;
    void PaintFlakes(SceneCanvas& canvas, int width, int height) const;
    void PaintTexts(SceneCanvas& canvas, int width, int height) const;

    std::wstring Login;
    uint32_t Seed = 0x2545F491u;
    double Time = 0.0;
    std::vector<Star> Stars;
    std::vector<Flake> Flakes;
    std::vector<Peak> FarPeaks;
    std::vector<Peak> NearPeaks;
};
