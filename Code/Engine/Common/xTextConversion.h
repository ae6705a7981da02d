#pragma once

#include "xString.h"

// UTF-16 to UTF-8. Reads up to `count` units or the first zero unit. Units
// 0xFFFE/0xFFFF and unpaired surrogates become "?"; a high surrogate followed by
// a low one becomes one four-byte sequence.
xString WideToUtf8(const char16_t* text, size_t count);
xString WideToUtf8(const char16_t* text);
xString WideToUtf8(const xWString& text);

// UTF-8 to UTF-16 over all `count` bytes (zero bytes included). Every malformed
// sequence becomes one "?"; a valid four-byte sequence becomes a surrogate pair.
xWString Utf8ToWide(const char* text, size_t count);
xWString Utf8ToWide(const char* text);
xWString Utf8ToWide(const xString& text);

// Length of the longest prefix of `text` (at most `count` bytes) that does not end
// inside a UTF-8 sequence; used to cut a text to a buffer cleanly.
size_t Utf8PrefixWithinLimit(const char* text, size_t count);
