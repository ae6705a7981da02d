#pragma once

#include <windows.h>

// A memory bitmap of the window's size: each frame is drawn here whole and then
// copied to the screen at once, so the scene never flickers.
class BackBuffer
{
public:
    BackBuffer() = default;
    ~BackBuffer();
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;

    // The drawing context of a bitmap at least `width` × `height` (made again
    // when the size changes); null when GDI has no memory left.
    HDC Prepare(HDC screen, int width, int height);

private:
    void Release();

    HDC Dc = nullptr;
    HBITMAP Bitmap = nullptr;
    HGDIOBJ FormerBitmap = nullptr;
    int Width = 0;
    int Height = 0;
};
