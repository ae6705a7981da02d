#pragma once

// The Win32 boundary: xWString holds char16_t units, which are the same 16-bit
// UTF-16 units that the W functions take as wchar_t on Windows.
#include "xString.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Win32 wide text must be UTF-16");

inline const wchar_t* WinText(const xWString& text)
{
    return reinterpret_cast<const wchar_t*>(text.c_str());
}

inline const wchar_t* WinText(const char16_t* text)
{
    return reinterpret_cast<const wchar_t*>(text);
}

inline xWString FromWinText(const wchar_t* text)
{
    return xWString(reinterpret_cast<const char16_t*>(text));
}

inline xWString FromWinText(const wchar_t* text, size_t count)
{
    return xWString(reinterpret_cast<const char16_t*>(text), count);
}
