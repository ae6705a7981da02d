#pragma once

#include "GdiObject.h"
#include "SceneCanvas.h"

#include <windows.h>

// The scene's canvas on a GDI drawing context. It keeps its fonts from frame
// to frame: finding a face asks GDI for several fonts.
class SceneCanvasGdi final : public SceneCanvas
{
public:
    // Where the next frame goes (the window's back buffer).
    void Target(HDC dc) { Dc = dc; }

    void FillRectangle(const SceneRect& area, SceneColour colour) override;
    void FillDisc(float x, float y, float radius, SceneColour colour) override;
    void FillPolygon(const std::vector<ScenePoint>& points, SceneColour colour) override;
    void StrokeLines(const std::vector<std::pair<ScenePoint, ScenePoint>>& strokes, int width,
                     SceneColour colour) override;
    void PutText(const std::wstring& text, const SceneRect& area, SceneColour colour, SceneFont font,
                 int height) override;

private:
    HFONT Font(SceneFont font, int height);

    HDC Dc = nullptr;
    GdiObject<HFONT> TitleFont;
    GdiObject<HFONT> TextFont;
    int TitleHeight = 0;
    int TextHeight = 0;
};
