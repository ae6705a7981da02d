#pragma once

#include "SceneCanvas.h"

#include <cairo.h>

// The scene's canvas on a cairo context: the frame in memory that then goes to the game's X11 window.
class SceneCanvasCairo final : public SceneCanvas
{
public:
    explicit SceneCanvasCairo(cairo_t* context) : Context(context) {}

    void FillRectangle(const SceneRect& area, SceneColour colour) override;
    void FillDisc(float x, float y, float radius, SceneColour colour) override;
    void FillPolygon(const std::vector<ScenePoint>& points, SceneColour colour) override;
    void StrokeLines(const std::vector<std::pair<ScenePoint, ScenePoint>>& strokes, int width,
                     SceneColour colour) override;
    void PutText(const std::wstring& text, const SceneRect& area, SceneColour colour, SceneFont font,
                 int height) override;

private:
    void Use(SceneColour colour);

    cairo_t* Context;
};
