#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What the demo game's scene draws with: a few filled shapes, strokes and
// centred lines of text, in whole pixels. GDI draws them on Windows
// (SceneCanvasGdi), cairo natively (SceneCanvasCairo).

struct SceneColour
{
    uint8_t R, G, B;
};

constexpr SceneColour Rgb(int r, int g, int b)
{
    return SceneColour{static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b)};
}

struct ScenePoint
{
    int X, Y;
};

struct SceneRect
{
    int Left, Top, Right, Bottom;
};

enum class SceneFont
{
    Title, // a bold serif face
    Text,  // a plain sans-serif face
};

class SceneCanvas
{
public:
    virtual ~SceneCanvas() = default;
    virtual void FillRectangle(const SceneRect& area, SceneColour colour) = 0;
    // A disc of `radius` around (x, y).
    virtual void FillDisc(float x, float y, float radius, SceneColour colour) = 0;
    virtual void FillPolygon(const std::vector<ScenePoint>& points, SceneColour colour) = 0;
    // Each stroke a straight line `width` pixels wide.
    virtual void StrokeLines(const std::vector<std::pair<ScenePoint, ScenePoint>>& strokes, int width,
                             SceneColour colour) = 0;
    // One line centred across `area`, its top at the area's top; `height` is the font's pixel height.
    virtual void PutText(const std::wstring& text, const SceneRect& area, SceneColour colour, SceneFont font,
                         int height) = 0;
};
