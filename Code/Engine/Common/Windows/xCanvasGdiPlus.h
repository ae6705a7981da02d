#pragma once

// The GDI+ drawing backend: process-wide set-up and fonts, decoded pictures,
// a canvas over a device context and the 32-bit surface a skinned window
// paints into. Windows only.
#include "xCanvas.h"

#include <windows.h>

// The build is lean (WIN32_LEAN_AND_MEAN): gdiplus.h needs IStream and PROPID from here.
#include <objidl.h>

#include <gdiplus.h>

#include <cstdint>
#include <memory>
#include <type_traits>

namespace xGdiPlusDetail
{
struct ImageDeleter
{
    void operator()(Gdiplus::GpImage* image) const { Gdiplus::DllExports::GdipDisposeImage(image); }
};
struct GraphicsDeleter
{
    void operator()(Gdiplus::GpGraphics* graphics) const
    {
        Gdiplus::DllExports::GdipDeleteGraphics(graphics);
    }
};
struct FontDeleter
{
    void operator()(Gdiplus::GpFont* font) const { Gdiplus::DllExports::GdipDeleteFont(font); }
};
struct DcDeleter
{
    void operator()(HDC dc) const { DeleteDC(dc); }
};
struct GdiObjectDeleter
{
    void operator()(HGDIOBJ object) const { DeleteObject(object); }
};
} // namespace xGdiPlusDetail

using xGdiImageHandle = std::unique_ptr<Gdiplus::GpImage, xGdiPlusDetail::ImageDeleter>;
using xGdiGraphicsHandle = std::unique_ptr<Gdiplus::GpGraphics, xGdiPlusDetail::GraphicsDeleter>;
using xGdiFontHandle = std::unique_ptr<Gdiplus::GpFont, xGdiPlusDetail::FontDeleter>;
using xMemoryDcHandle = std::unique_ptr<std::remove_pointer_t<HDC>, xGdiPlusDetail::DcDeleter>;
using xBitmapHandle = std::unique_ptr<std::remove_pointer_t<HBITMAP>, xGdiPlusDetail::GdiObjectDeleter>;

// GDI+ for the whole process: started on first use (or by Start at start-up) and
// shut down when the process exits, after the two skin fonts are deleted.
class xGdiPlus
{
public:
    // Starts GDI+ and creates the fonts unless done already; safe from any thread.
    // False when GDI+ could not start: then nothing draws and nothing decodes.
    static bool Start();
    // Null when GDI+ did not start, or neither the family nor the fallback exists.
    static Gdiplus::GpFont* Font(xSkinFont font);

private:
    xGdiPlus();
    ~xGdiPlus();
    static xGdiPlus& Instance();

    ULONG_PTR Token = 0;
    bool Started = false;
    xGdiFontHandle NormalFont;
    xGdiFontHandle LargeFont;
};

// A picture decoded by GDI+.
class xGdiPlusImage : public xImage
{
public:
    explicit xGdiPlusImage(xGdiImageHandle image);
    int32_t Width() const override { return ImageWidth; }
    int32_t Height() const override { return ImageHeight; }
    Gdiplus::GpImage* Get() const { return Image.get(); }

private:
    xGdiImageHandle Image;
    int32_t ImageWidth = 0;
    int32_t ImageHeight = 0;
};

// Draws through a GDI+ surface on a device context (a memory context, for the
// skinned windows). The context must outlive the canvas.
class xCanvasGdiPlus : public xCanvas
{
public:
    explicit xCanvasGdiPlus(HDC dc);

    void DrawImagePart(const xImage& image, int32_t x, int32_t y, int32_t sourceX, int32_t sourceY,
                       int32_t width, int32_t height) override;
    void DrawImageStretched(const xImage& image, int32_t x, int32_t y, int32_t width,
                            int32_t height) override;
    void DrawTextLine(const xWString& text, uint32_t colour, const xTextRect& rect, xSkinFont font) override;
    float MeasureTextWidth(const xWString& text, xSkinFont font) override;

    // The status of the last drawing call, kept rather than reported.
    Gdiplus::GpStatus LastStatus() const { return Status; }

private:
    xGdiGraphicsHandle Graphics;
    Gdiplus::GpStatus Status = Gdiplus::Ok;
};

// A W x H top-down 32-bit DIB section selected into its own memory context:
// what a skinned window paints into and then puts on screen (a copy, or
// UpdateLayeredWindow with the per-pixel alpha). Starts all zero: transparent.
class xDibSurface
{
public:
    xDibSurface(int32_t width, int32_t height);
    ~xDibSurface();
    xDibSurface(const xDibSurface&) = delete;
    xDibSurface& operator=(const xDibSurface&) = delete;

    // False when the bitmap or the context could not be made.
    bool IsValid() const { return Bits != nullptr; }
    HDC Dc() const { return MemoryDc.get(); }
    int32_t Width() const { return SurfaceWidth; }
    int32_t Height() const { return SurfaceHeight; }
    // Pixel (x, y) as 0xAARRGGBB (blue in the lowest byte, as DIBs store it).
    // Call GdiFlush first when GDI drew since the last read.
    uint32_t Pixel(int32_t x, int32_t y) const { return Bits[size_t(y) * size_t(SurfaceWidth) + size_t(x)]; }
    const uint32_t* Pixels() const { return Bits; }

private:
    int32_t SurfaceWidth = 0;
    int32_t SurfaceHeight = 0;
    // The bitmap is declared first so that it is deleted last: the destructor puts
    // the context's first bitmap back, then the context goes, then the bitmap.
    xBitmapHandle Bitmap;
    xMemoryDcHandle MemoryDc;
    HGDIOBJ PreviousBitmap = nullptr;
    uint32_t* Bits = nullptr;
};
