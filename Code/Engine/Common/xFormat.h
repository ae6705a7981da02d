#pragma once

#include <cstdarg>
#include <cstddef>

// printf-style narrow formatting through the C library into a caller's buffer of
// `size` bytes. The result is always terminated; a text that does not fit is cut
// at the last whole UTF-8 sequence. Returns the length written.
size_t FormatNarrow(char* buffer, size_t size, const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 3, 4)))
#endif
    ;
size_t FormatNarrowV(char* buffer, size_t size, const char* format, va_list arguments);

// The same, written to standard output.
void PrintNarrow(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The framework's own wide formatter: %s/%ls take char16_t texts, %c a 16-bit
// unit, numbers go through the C library. `capacity` counts the terminator.
// Returns the characters written, -1 when the output was cut, 0 for a null format.
int vswprintf_Replacement(char16_t* buffer, size_t capacity, const char16_t* format, va_list arguments);
int swprintf_Replacement(char16_t* buffer, size_t capacity, const char16_t* format, ...);
