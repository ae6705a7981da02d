// What the fuzz targets share: a property check that names what broke, and ways of
// cutting one input into the pieces a target needs.
#pragma once

#include "xString.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// A broken property is a finding like a crash: libFuzzer keeps the input.
#define FUZZ_CHECK(condition)                                                                                \
    do                                                                                                       \
    {                                                                                                        \
        if (!(condition))                                                                                    \
        {                                                                                                    \
            std::fprintf(stderr, "Property broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__);           \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

// Reads an input front to back: bytes, and texts up to a separator.
class FuzzReader
{
public:
    FuzzReader(const uint8_t* data, size_t size) : At(data), End(data + size) {}

    bool Empty() const { return At == End; }
    uint8_t Byte() { return At < End ? *At++ : 0; }
    // Up to the next `separator` (dropped) or the end.
    std::string Until(char separator)
    {
        const uint8_t* start = At;
        while (At < End && *At != static_cast<uint8_t>(separator))
            ++At;
        std::string text(reinterpret_cast<const char*>(start), static_cast<size_t>(At - start));
        if (At < End)
            ++At;
        return text;
    }
    std::string Rest()
    {
        std::string text(reinterpret_cast<const char*>(At), static_cast<size_t>(End - At));
        At = End;
        return text;
    }

private:
    const uint8_t* At;
    const uint8_t* End;
};

// Every pair of bytes as one UTF-16 unit (little-endian), so any unit can occur.
inline xWString WideFromBytes(const uint8_t* data, size_t size)
{
    xWString text;
    for (size_t i = 0; i + 1 < size; i += 2)
        text.Append(static_cast<char16_t>(data[i] | (data[i + 1] << 8)));
    return text;
}

inline std::string Narrow(const xString& text)
{
    return std::string(text.c_str(), text.Length());
}

inline std::u16string Units(const xWString& text)
{
    return std::u16string(text.c_str(), text.Length());
}
