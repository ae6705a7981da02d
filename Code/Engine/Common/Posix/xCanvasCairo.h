#pragma once

// The cairo drawing backend: decoded pictures as image surfaces, and a canvas
// over a cairo context with pango for the text. POSIX only.
#include "xCanvas.h"

#include <cairo.h>

#include <cstdint>
#include <memory>

// A picture decoded into a premultiplied ARGB32 image surface.
class xCairoImage : public xImage
{
public:
    // Takes over the surface's reference.
    explicit xCairoImage(cairo_surface_t* surface) : Surface(surface) {}
    ~xCairoImage() override { cairo_surface_destroy(Surface); }
    xCairoImage(const xCairoImage&) = delete;
    xCairoImage& operator=(const xCairoImage&) = delete;

    int32_t Width() const override { return cairo_image_surface_get_width(Surface); }
    int32_t Height() const override { return cairo_image_surface_get_height(Surface); }
    cairo_surface_t* CairoSurface() const { return Surface; }

private:
    cairo_surface_t* Surface;
};

// Draws into the given context (not owned); pictures from other backends are skipped.
class xCairoCanvas : public xCanvas
{
public:
    explicit xCairoCanvas(cairo_t* context) : Context(context) {}

    void DrawImagePart(const xImage& image, int32_t x, int32_t y, int32_t sourceX, int32_t sourceY,
                       int32_t width, int32_t height) override;
    void DrawImageStretched(const xImage& image, int32_t x, int32_t y, int32_t width,
                            int32_t height) override;
    void DrawTextLine(const xWString& text, uint32_t colour, const xTextRect& rect, xSkinFont font) override;
    float MeasureTextWidth(const xWString& text, xSkinFont font) override;

private:
    cairo_t* Context;
};
