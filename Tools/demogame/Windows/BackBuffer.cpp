#include "BackBuffer.h"

BackBuffer::~BackBuffer()
{
    Release();
}

HDC BackBuffer::Prepare(HDC screen, int width, int height)
{
    if (Dc != nullptr && width == Width && height == Height)
        return Dc;
    Release();
    Dc = CreateCompatibleDC(screen);
    Bitmap = CreateCompatibleBitmap(screen, width > 0 ? width : 1, height > 0 ? height : 1);
    if (Dc == nullptr || Bitmap == nullptr)
    {
        Release();
        return nullptr;
    }
    FormerBitmap = SelectObject(Dc, Bitmap);
    Width = width;
    Height = height;
    return Dc;
}

void BackBuffer::Release()
{
    if (Dc != nullptr && FormerBitmap != nullptr)
        SelectObject(Dc, FormerBitmap);
    if (Bitmap != nullptr)
        DeleteObject(Bitmap);
    if (Dc != nullptr)
        DeleteDC(Dc);
    Dc = nullptr;
    Bitmap = nullptr;
    FormerBitmap = nullptr;
    Width = Height = 0;
}
