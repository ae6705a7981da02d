#pragma once

#include <windows.h>

// Selects an object into a context for one scope and puts the former one back.
class GdiSelection
{
public:
    GdiSelection(HDC dc, HGDIOBJ object) : Dc(dc), Former(SelectObject(dc, object)) {}
    ~GdiSelection() { SelectObject(Dc, Former); }
    GdiSelection(const GdiSelection&) = delete;
    GdiSelection& operator=(const GdiSelection&) = delete;

private:
    HDC Dc;
    HGDIOBJ Former;
};
