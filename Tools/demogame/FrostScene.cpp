#include "FrostScene.h"

#include "GdiSelection.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace
{
constexpr float Pi = 3.14159265f;

COLORREF Mix(COLORREF from, COLORREF to, float t)
{
    t = std::clamp(t, 0.0f, 1.0f);
    auto channel = [t](int a, int b) { return static_cast<BYTE>(a + (b - a) * t + 0.5f); };
    return RGB(channel(GetRValue(from), GetRValue(to)), channel(GetGValue(from), GetGValue(to)),
               channel(GetBValue(from), GetBValue(to)));
}

// The sky from the zenith down to the horizon's faint glow.
COLORREF SkyAt(float y)
{
    if (y < 0.6f)
        return Mix(RGB(3, 7, 24), RGB(12, 28, 68), y / 0.6f);
    return Mix(RGB(12, 28, 68), RGB(38, 66, 116), (y - 0.6f) / 0.3f);
}

void FillRectangle(HDC dc, int left, int top, int right, int bottom, COLORREF color)
{
    SetDCBrushColor(dc, color);
    const RECT area = {left, top, right, bottom};
    FillRect(dc, &area, static_cast<HBRUSH>(GetStockObject(DC_BRUSH)));
}

void FillDisc(HDC dc, float x, float y, float radius, COLORREF color)
{
    SetDCBrushColor(dc, color);
    GdiSelection brush(dc, GetStockObject(DC_BRUSH));
    GdiSelection pen(dc, GetStockObject(NULL_PEN));
    Ellipse(dc, static_cast<int>(x - radius), static_cast<int>(y - radius),
            static_cast<int>(x + radius + 1.5f), static_cast<int>(y + radius + 1.5f));
}

void FillPolygon(HDC dc, const std::vector<POINT>& points, COLORREF color)
{
    SetDCBrushColor(dc, color);
    GdiSelection brush(dc, GetStockObject(DC_BRUSH));
    GdiSelection pen(dc, GetStockObject(NULL_PEN));
    Polygon(dc, points.data(), static_cast<int>(points.size()));
}

POINT At(float x, float y)
{
    return POINT{static_cast<LONG>(std::lround(x)), static_cast<LONG>(std::lround(y))};
}

void PutText(HDC dc, const std::wstring& text, RECT area, COLORREF color, UINT format)
{
    SetTextColor(dc, color);
    DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &area, format | DT_NOPREFIX | DT_SINGLELINE);
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

void FrostScene::Paint(HDC dc, int width, int height)
{
    if (width <= 0 || height <= 0)
        return;
    PaintSky(dc, width, height);
    PaintMoon(dc, width, height);
    PaintRange(dc, width, height, FarPeaks, 0.80f, RGB(22, 40, 80), RGB(150, 172, 212));
    PaintCrystal(dc, width, height);
    PaintRange(dc, width, height, NearPeaks, 0.88f, RGB(11, 22, 50), RGB(196, 212, 240));
    PaintGround(dc, width, height);
    PaintFlakes(dc, width, height);
    PaintTexts(dc, width, height);
}

void FrostScene::PaintSky(HDC dc, int width, int height) const
{
    constexpr int band = 2;
    for (int y = 0; y < height; y += band)
        FillRectangle(dc, 0, y, width, y + band, SkyAt(static_cast<float>(y) / height));
    for (const Star& star : Stars)
    {
        const float twinkle = 0.55f + 0.45f * std::sin(static_cast<float>(Time) * star.Speed + star.Phase);
        const int x = static_cast<int>(star.X * width);
        const int y = static_cast<int>(star.Y * height);
        const COLORREF color = Mix(SkyAt(star.Y), RGB(225, 235, 255), twinkle);
        FillRectangle(dc, x, y, x + star.Size, y + star.Size, color);
    }
}

void FrostScene::PaintMoon(HDC dc, int width, int height) const
{
    const float x = 0.84f * width;
    const float y = 0.17f * height;
    const float radius = 0.045f * std::min(width, height);
    const COLORREF sky = SkyAt(0.17f);
    for (int ring = 5; ring >= 1; --ring)
        FillDisc(dc, x, y, radius * (1.0f + 0.4f * ring), Mix(sky, RGB(60, 82, 130), 0.32f / ring));
    FillDisc(dc, x, y, radius, RGB(236, 234, 214));
    FillDisc(dc, x - radius * 0.35f, y - radius * 0.2f, radius * 0.22f, RGB(218, 216, 196));
    FillDisc(dc, x + radius * 0.3f, y + radius * 0.35f, radius * 0.15f, RGB(222, 220, 200));
}

// A mountain range: straight flanks between the peaks and the valleys below
// them, each peak capped with snow down a quarter of its flanks.
void FrostScene::PaintRange(HDC dc, int width, int height, const std::vector<Peak>& peaks, float base,
                            COLORREF rock, COLORREF snow) const
{
    std::vector<POINT> outline;
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
    FillPolygon(dc, outline, rock);

    // outline: the corner, then peak, valley, peak, ..., peak, the corner.
    for (size_t i = 1; i + 1 < outline.size(); i += 2)
    {
        const POINT peak = outline[i];
        auto toward = [&peak](POINT other, float t)
        { return At(peak.x + (other.x - peak.x) * t, peak.y + (other.y - peak.y) * t); };
        const POINT right = toward(outline[i + 1], 0.28f);
        const POINT left = toward(outline[i - 1], 0.3f);
        // A ragged lower edge: one notch up, one tongue down.
        const float depth = static_cast<float>(std::max(right.y, left.y) - peak.y);
        const POINT notch = At(right.x + (left.x - right.x) * 0.33f, right.y - depth * 0.3f);
        const POINT tongue = At(right.x + (left.x - right.x) * 0.66f, left.y + depth * 0.12f);
        FillPolygon(dc, {peak, right, notch, tongue, left}, snow);
    }
}

void FrostScene::PaintGround(HDC dc, int width, int height) const
{
    std::vector<POINT> drift;
    drift.push_back(At(0.0f, static_cast<float>(height)));
    for (int i = 0; i <= 40; ++i)
    {
        const float x = static_cast<float>(i) / 40.0f;
        const float y = 0.915f + 0.018f * std::sin(x * 7.0f + 1.3f) + 0.01f * std::sin(x * 17.0f);
        drift.push_back(At(x * width, y * height));
    }
    drift.push_back(At(static_cast<float>(width), static_cast<float>(height)));
    FillPolygon(dc, drift, RGB(178, 196, 228));
    for (POINT& point : drift)
        point.y += std::max(2, height / 90);
    drift.front().y = drift.back().y = height;
    FillPolygon(dc, drift, RGB(214, 226, 246));
}

// Six arms with three pairs of side branches each, drawn three times: a broad
// dark glow, a bright body and a thin white core, all slowly breathing.
void FrostScene::PaintCrystal(HDC dc, int width, int height) const
{
    const float cx = 0.5f * width;
    const float cy = 0.56f * height;
    const float radius = 0.18f * std::min(width, height);
    const float turn = static_cast<float>(Time) * 0.22f;
    const float breath = 0.5f + 0.5f * std::sin(static_cast<float>(Time) * 1.3f);

    std::vector<std::pair<POINT, POINT>> strokes;
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
            const POINT root = point(angle, branchAt[b]);
            for (float side : {-1.0f, 1.0f})
            {
                const float branch = angle + side * Pi / 3.2f;
                const float length = branchLength[b] * radius;
                strokes.emplace_back(
                    root, At(root.x + std::cos(branch) * length, root.y + std::sin(branch) * length));
            }
        }
        // The tip: a small diamond.
        const POINT tip = point(angle, 1.0f);
        const POINT back = point(angle, 0.9f);
        const POINT left = point(angle - 0.05f, 0.95f);
        const POINT right = point(angle + 0.05f, 0.95f);
        strokes.emplace_back(tip, left);
        strokes.emplace_back(left, back);
        strokes.emplace_back(back, right);
        strokes.emplace_back(right, tip);
    }

    const int scale = std::max(1, static_cast<int>(radius / 40.0f));
    const struct
    {
        int Width;
        COLORREF Color;
    } passes[] = {
        {scale * 5, Mix(RGB(30, 62, 120), RGB(52, 96, 170), breath)},
        {scale * 2 + 1, Mix(RGB(120, 178, 236), RGB(160, 212, 250), breath)},
        {1, RGB(238, 248, 255)},
    };
    for (const auto& pass : passes)
    {
        GdiObject<HPEN> pen(CreatePen(PS_SOLID, pass.Width, pass.Color));
        GdiSelection selected(dc, pen.get());
        for (const auto& stroke : strokes)
        {
            MoveToEx(dc, stroke.first.x, stroke.first.y, nullptr);
            LineTo(dc, stroke.second.x, stroke.second.y);
        }
    }
    FillDisc(dc, cx, cy, radius * 0.05f, RGB(238, 248, 255));
}

void FrostScene::PaintFlakes(HDC dc, int width, int height) const
{
    const float scale = std::max(1.0f, std::min(width, height) / 600.0f);
    const COLORREF colors[] = {RGB(130, 152, 196), RGB(196, 212, 238), RGB(246, 250, 255)};
    const float sizes[] = {0.8f, 1.4f, 2.3f};
    for (const Flake& flake : Flakes)
    {
        const float sway = 0.012f * std::sin(static_cast<float>(Time) * flake.Sway + flake.Phase);
        FillDisc(dc, (flake.X + sway) * width, flake.Y * height, sizes[flake.Layer] * scale,
                 colors[flake.Layer]);
    }
}

HFONT FrostScene::Font(GdiObject<HFONT>& font, int& cachedHeight, int height, int weight,
                       const std::vector<const wchar_t*>& faces, HDC dc)
{
    if (font && cachedHeight == height)
        return font.get();
    // The first face this system has; GDI substitutes any font for a missing
    // one, so ask it which face it really chose.
    font.reset();
    for (const wchar_t* face : faces)
    {
        GdiObject<HFONT> candidate(CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                                               OUT_TT_PRECIS, CLIP_DEFAULT_PRECIS, ANTIALIASED_QUALITY,
                                               DEFAULT_PITCH | FF_DONTCARE, face));
        wchar_t chosen[LF_FACESIZE] = {};
        {
            GdiSelection selected(dc, candidate.get());
            GetTextFaceW(dc, LF_FACESIZE, chosen);
        }
        const bool found = lstrcmpiW(chosen, face) == 0;
        if (found || !font)
            font = std::move(candidate);
        if (found)
            break;
    }
    cachedHeight = height;
    return font.get();
}

void FrostScene::PaintTexts(HDC dc, int width, int height)
{
    SetBkMode(dc, TRANSPARENT);
    const int titleHeight = std::clamp(height / 8, 28, 180);
    HFONT title = Font(TitleFont, TitleHeight, titleHeight, FW_BOLD,
                       {L"Noto Serif CJK SC", L"STZhongsong", L"SimSun", L"Microsoft YaHei"}, dc);
    const int top = height / 14;
    {
        GdiSelection selected(dc, title);
        const std::wstring text = L"霜石纪元";
        const RECT area = {0, top, width, top + titleHeight * 3 / 2};
        const int glow = std::max(2, titleHeight / 24);
        for (int dx = -glow; dx <= glow; dx += glow)
            for (int dy = -glow; dy <= glow; dy += glow)
                PutText(dc, text,
                        {area.left + dx, area.top + dy + glow, area.right + dx, area.bottom + dy + glow},
                        RGB(6, 12, 32), DT_CENTER);
        PutText(dc, text, area, RGB(238, 196, 96), DT_CENTER);
    }

    // A gold rule with a diamond in its middle under the title.
    const int ruleY = top + titleHeight * 3 / 2;
    const int half = std::min(width / 4, titleHeight * 3);
    const int diamond = std::max(3, titleHeight / 14);
    FillRectangle(dc, width / 2 - half, ruleY, width / 2 - diamond * 2, ruleY + 1, RGB(180, 146, 74));
    FillRectangle(dc, width / 2 + diamond * 2, ruleY, width / 2 + half, ruleY + 1, RGB(180, 146, 74));
    FillPolygon(dc,
                {POINT{width / 2, ruleY - diamond}, POINT{width / 2 + diamond, ruleY},
                 POINT{width / 2, ruleY + diamond}, POINT{width / 2 - diamond, ruleY}},
                RGB(238, 196, 96));

    const int textHeight = std::clamp(height / 34, 12, 40);
    HFONT text = Font(TextFont, TextHeight, textHeight, FW_NORMAL,
                      {L"Noto Sans CJK SC", L"Microsoft YaHei", L"SimHei"}, dc);
    GdiSelection selected(dc, text);
    const int loginTop = ruleY + textHeight;
    PutText(dc, L"登录信息：" + Login, {0, loginTop, width, loginTop + textHeight * 2}, RGB(176, 206, 242),
            DT_CENTER);
    const int hintTop = height - textHeight * 2;
    PutText(dc, L"按 Esc 关闭游戏  ·  演示游戏", {0, hintTop, width, height}, RGB(48, 70, 112), DT_CENTER);
}
