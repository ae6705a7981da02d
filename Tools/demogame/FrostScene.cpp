#include "FrostScene.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
constexpr float Pi = 3.14159265f;

SceneColour Mix(SceneColour from, SceneColour to, float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    auto channel = [t](int a, int b) { return static_cast<uint8_t>(a + (b - a) * t + 0.5f); };
    return SceneColour{channel(from.R, to.R), channel(from.G, to.G), channel(from.B, to.B)};
}

// The sky from the zenith down to the horizon's faint glow.
SceneColour SkyAt(float y)
{
    if (y < 0.6f)
        return Mix(Rgb(3, 7, 24), Rgb(12, 28, 68), y / 0.6f);
    return Mix(Rgb(12, 28, 68), Rgb(38, 66, 116), (y - 0.6f) / 0.3f);
}

ScenePoint At(float x, float y)
{
    return ScenePoint{static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
}
} // namespace

FrostScene::FrostScene(std::wstring login) : Login(std::move(login))
{
    for (int i = 0; i < 140; ++i)
    {
        const float y = Random();
        Stars.push_back({Random(), y * y * 0.62f, Random() * 2.0f * Pi, 0.6f + Random() * 2.2f,
                         Random() < 0.15f ? 2 : 1});
    }
    for (int i = 0; i < 230; ++i)
    {
        const int layer = i % 5 == 0 ? 2 : i % 5 < 3 ? 1 : 0;
        Flakes.push_back({Random(), Random() * 1.1f - 0.05f, 0.025f + 0.035f * layer + Random() * 0.02f,
                          0.4f + Random() * 0.9f, Random() * 2.0f * Pi, layer});
    }
    // One peak beyond each edge, so that the ranges run out of the picture.
    for (int i = -1; i <= 10; ++i)
        FarPeaks.push_back({(i + (Random() - 0.5f) * 0.6f) / 9.0f, 0.10f + Random() * 0.12f});
    for (int i = -1; i <= 7; ++i)
        NearPeaks.push_back({(i + (Random() - 0.5f) * 0.5f) / 6.0f, 0.06f + Random() * 0.10f});
}

// xorshift32: the same sky on every start.
float FrostScene::Random()
{
    Seed ^= Seed << 13;
    Seed ^= Seed >> 17;
    Seed ^= Seed << 5;
    return static_cast<float>(Seed >> 8) / 16777216.0f;
}

void FrostScene::Advance(double seconds)
{
    // A stalled frame (a dragged window, a debugger) must not throw the snow about.
    const float step = static_cast<float>(std::clamp(seconds, 0.0, 0.1));
    Time += step;
    for (Flake& flake : Flakes)
    {
        flake.Y += flake.Fall * step;
        flake.X += 0.006f * step * (1 + flake.Layer);
        if (flake.X > 1.02f)
            flake.X -= 1.04f;
        if (flake.Y > 1.03f)
        {
            flake.Y = -0.03f;
            flake.X = Random();
        }
    }
}

void FrostScene::Paint(SceneCanvas& canvas, int width, int height) const
{
    if (width <= 0 || height <= 0)
        return;
    PaintSky(canvas, width, height);
    PaintMoon(canvas, width, height);
    PaintRange(canvas, width, height, FarPeaks, 0.80f, Rgb(22, 40, 80), Rgb(150, 172, 212));
    PaintCrystal(canvas, width, height);
    PaintRange(canvas, width, height, NearPeaks, 0.88f, Rgb(11, 22, 50), Rgb(196, 212, 240));
    PaintGround(canvas, width, height);
    PaintFlakes(canvas, width, height);
    PaintTexts(canvas, width, height);
}

void FrostScene::PaintSky(SceneCanvas& canvas, int width, int height) const
{
    constexpr int band = 2;
    for (int y = 0; y < height; y += band)
        canvas.FillRectangle({0, y, width, y + band}, SkyAt(static_cast<float>(y) / height));
    for (const Star& star : Stars)
    {
        const float twinkle = 0.55f + 0.45f * std::sin(static_cast<float>(Time) * star.Speed + star.Phase);
        const int x = static_cast<int>(star.X * width);
        const int y = static_cast<int>(star.Y * height);
        const SceneColour color = Mix(SkyAt(star.Y), Rgb(225, 235, 255), twinkle);
        canvas.FillRectangle({x, y, x + star.Size, y + star.Size}, color);
    }
}

void FrostScene::PaintMoon(SceneCanvas& canvas, int width, int height) const
{
    const float x = 0.84f * width;
    const float y = 0.17f * height;
    const float radius = 0.045f * std::min(width, height);
    const SceneColour sky = SkyAt(0.17f);
    for (int ring = 5; ring >= 1; --ring)
        canvas.FillDisc(x, y, radius * (1.0f + 0.4f * ring), Mix(sky, Rgb(60, 82, 130), 0.32f / ring));
    canvas.FillDisc(x, y, radius, Rgb(236, 234, 214));
    canvas.FillDisc(x - radius * 0.35f, y - radius * 0.2f, radius * 0.22f, Rgb(218, 216, 196));
    canvas.FillDisc(x + radius * 0.3f, y + radius * 0.35f, radius * 0.15f, Rgb(222, 220, 200));
}

// A mountain range: straight flanks between the peaks and the valleys below
// them, each peak capped with snow down a quarter of its flanks.
void FrostScene::PaintRange(SceneCanvas& canvas, int width, int height, const std::vector<Peak>& peaks,
                            float base, SceneColour rock, SceneColour snow) const
{
    std::vector<ScenePoint> outline;
    outline.push_back(At(0.0f, static_cast<float>(height)));
    for (size_t i = 0; i < peaks.size(); ++i)
    {
        const float peakX = peaks[i].X * width;
        const float peakY = (base - peaks[i].Height) * height;
        outline.push_back(At(peakX, peakY));
        if (i + 1 < peaks.size())
        {
            const float valleyX = (peaks[i].X + peaks[i + 1].X) * 0.5f * width;
            const float valleyY = (base - std::min(peaks[i].Height, peaks[i + 1].Height) * 0.35f) * height;
            outline.push_back(At(valleyX, valleyY));
        }
    }
    outline.push_back(At(static_cast<float>(width), static_cast<float>(height)));
    canvas.FillPolygon(outline, rock);

    // outline: the corner, then peak, valley, peak, ..., peak, the corner.
    for (size_t i = 1; i + 1 < outline.size(); i += 2)
    {
        const ScenePoint peak = outline[i];
        auto toward = [&peak](ScenePoint other, float t)
        { return At(peak.X + (other.X - peak.X) * t, peak.Y + (other.Y - peak.Y) * t); };
        const ScenePoint right = toward(outline[i + 1], 0.28f);
        const ScenePoint left = toward(outline[i - 1], 0.3f);
        // A ragged lower edge: one notch up, one tongue down.
        const float depth = static_cast<float>(std::max(right.Y, left.Y) - peak.Y);
        const ScenePoint notch = At(right.X + (left.X - right.X) * 0.33f, right.Y - depth * 0.3f);
        const ScenePoint tongue = At(right.X + (left.X - right.X) * 0.66f, left.Y + depth * 0.12f);
        canvas.FillPolygon({peak, right, notch, tongue, left}, snow);
    }
}

void FrostScene::PaintGround(SceneCanvas& canvas, int width, int height) const
{
    std::vector<ScenePoint> drift;
    drift.push_back(At(0.0f, static_cast<float>(height)));
    for (int i = 0; i <= 40; ++i)
    {
        const float x = static_cast<float>(i) / 40.0f;
        const float y = 0.915f + 0.018f * std::sin(x * 7.0f + 1.3f) + 0.01f * std::sin(x * 17.0f);
        drift.push_back(At(x * width, y * height));
    }
    drift.push_back(At(static_cast<float>(width), static_cast<float>(height)));
    canvas.FillPolygon(drift, Rgb(178, 196, 228));
    for (ScenePoint& point : drift)
        point.Y += std::max(2, height / 90);
    drift.front().Y = drift.back().Y = height;
    canvas.FillPolygon(drift, Rgb(214, 226, 246));
}

// Six arms with three pairs of side branches each, drawn three times: a broad
// dark glow, a bright body and a thin white core, all slowly breathing.
void FrostScene::PaintCrystal(SceneCanvas& canvas, int width, int height) const
{
    const float cx = 0.5f * width;
    const float cy = 0.56f * height;
    const float radius = 0.18f * std::min(width, height);
    const float turn = static_cast<float>(Time) * 0.22f;
    const float breath = 0.5f + 0.5f * std::sin(static_cast<float>(Time) * 1.3f);

    std::vector<std::pair<ScenePoint, ScenePoint>> strokes;
    auto point = [&](float angle, float distance)
    { return At(cx + std::cos(angle) * distance * radius, cy + std::sin(angle) * distance * radius); };
    for (int arm = 0; arm < 6; ++arm)
    {
        const float angle = turn + arm * Pi / 3.0f;
        strokes.emplace_back(point(angle, 0.0f), point(angle, 1.0f));
        strokes.emplace_back(point(angle, 0.18f), point(angle + Pi / 3.0f, 0.18f));
        const float branchAt[] = {0.36f, 0.56f, 0.76f};
        const float branchLength[] = {0.30f, 0.24f, 0.15f};
        for (int b = 0; b < 3; ++b)
        {
            const ScenePoint root = point(angle, branchAt[b]);
            for (float side : {-1.0f, 1.0f})
            {
                const float branch = angle + side * Pi / 3.2f;
                const float length = branchLength[b] * radius;
                strokes.emplace_back(
                    root, At(root.X + std::cos(branch) * length, root.Y + std::sin(branch) * length));
            }
        }
        // The tip: a small diamond.
        const ScenePoint tip = point(angle, 1.0f);
        const ScenePoint back = point(angle, 0.9f);
        const ScenePoint left = point(angle - 0.05f, 0.95f);
        const ScenePoint right = point(angle + 0.05f, 0.95f);
        strokes.emplace_back(tip, left);
        strokes.emplace_back(left, back);
        strokes.emplace_back(back, right);
        strokes.emplace_back(right, tip);
    }

    const int scale = std::max(1, static_cast<int>(radius / 40.0f));
    const struct
    {
        int Width;
        SceneColour Color;
    } passes[] = {
        {scale * 5, Mix(Rgb(30, 62, 120), Rgb(52, 96, 170), breath)},
        {scale * 2 + 1, Mix(Rgb(120, 178, 236), Rgb(160, 212, 250), breath)},
        {1, Rgb(238, 248, 255)},
    };
    for (const auto& pass : passes)
        canvas.StrokeLines(strokes, pass.Width, pass.Color);
    canvas.FillDisc(cx, cy, radius * 0.05f, Rgb(238, 248, 255));
}

void FrostScene::PaintFlakes(SceneCanvas& canvas, int width, int height) const
{
    const float scale = std::max(1.0f, std::min(width, height) / 600.0f);
    const SceneColour colors[] = {Rgb(130, 152, 196), Rgb(196, 212, 238), Rgb(246, 250, 255)};
    const float sizes[] = {0.8f, 1.4f, 2.3f};
    for (const Flake& flake : Flakes)
    {
        const float sway = 0.012f * std::sin(static_cast<float>(Time) * flake.Sway + flake.Phase);
        canvas.FillDisc((flake.X + sway) * width, flake.Y * height, sizes[flake.Layer] * scale,
                        colors[flake.Layer]);
    }
}

void FrostScene::PaintTexts(SceneCanvas& canvas, int width, int height) const
{
    const int titleHeight = std::clamp(height / 8, 28, 180);
    const int top = height / 14;
    const std::wstring title = L"霜石纪元";
    const SceneRect area = {0, top, width, top + titleHeight * 3 / 2};
    const int glow = std::max(2, titleHeight / 24);
    for (int dx = -glow; dx <= glow; dx += glow)
        for (int dy = -glow; dy <= glow; dy += glow)
            canvas.PutText(title,
                           {area.Left + dx, area.Top + dy + glow, area.Right + dx, area.Bottom + dy + glow},
                           Rgb(6, 12, 32), SceneFont::Title, titleHeight);
    canvas.PutText(title, area, Rgb(238, 196, 96), SceneFont::Title, titleHeight);

    // A gold rule with a diamond in its middle under the title.
    const int ruleY = top + titleHeight * 3 / 2;
    const int half = std::min(width / 4, titleHeight * 3);
    const int diamond = std::max(3, titleHeight / 14);
    canvas.FillRectangle({width / 2 - half, ruleY, width / 2 - diamond * 2, ruleY + 1}, Rgb(180, 146, 74));
    canvas.FillRectangle({width / 2 + diamond * 2, ruleY, width / 2 + half, ruleY + 1}, Rgb(180, 146, 74));
    canvas.FillPolygon({ScenePoint{width / 2, ruleY - diamond}, ScenePoint{width / 2 + diamond, ruleY},
                        ScenePoint{width / 2, ruleY + diamond}, ScenePoint{width / 2 - diamond, ruleY}},
                       Rgb(238, 196, 96));

    const int textHeight = std::clamp(height / 34, 12, 40);
    const int loginTop = ruleY + textHeight;
    canvas.PutText(L"登录信息：" + Login, {0, loginTop, width, loginTop + textHeight * 2}, Rgb(176, 206, 242),
                   SceneFont::Text, textHeight);
    const int hintTop = height - textHeight * 2;
    canvas.PutText(L"按 Esc 关闭游戏  ·  演示游戏", {0, hintTop, width, height}, Rgb(48, 70, 112),
                   SceneFont::Text, textHeight);
}
