#include "xTextConversion.h"

#include <cstdint>

namespace
{
constexpr char16_t Replacement = u'?';

bool IsContinuation(unsigned char byte)
{
    return (byte & 0xC0) == 0x80;
}

bool IsHighSurrogate(char16_t unit)
{
    return unit >= 0xD800 && unit <= 0xDBFF;
}

bool IsLowSurrogate(char16_t unit)
{
    return unit >= 0xDC00 && unit <= 0xDFFF;
}

void AppendUtf8(xString& out, unsigned int codePoint)
{
    if (codePoint < 0x80)
    {
        out.Append(static_cast<char>(codePoint));
        return;
    }
    if (codePoint < 0x800)
    {
        const char bytes[2] = {static_cast<char>(0xC0 | (codePoint >> 6)),
                               static_cast<char>(0x80 | (codePoint & 0x3F))};
        out.Append(bytes, 2);
        return;
    }
    if (codePoint < 0x10000)
    {
        const char bytes[3] = {static_cast<char>(0xE0 | (codePoint >> 12)),
                               static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)),
                               static_cast<char>(0x80 | (codePoint & 0x3F))};
        out.Append(bytes, 3);
        return;
    }
    const char bytes[4] = {
        static_cast<char>(0xF0 | (codePoint >> 18)), static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F)),
        static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F)), static_cast<char>(0x80 | (codePoint & 0x3F))};
    out.Append(bytes, 4);
}

} // namespace

xString WideToUtf8(const char16_t* text, size_t count)
{
    xString out;
    if (!text)
        return out;
    out.Reserve(count);
    for (size_t i = 0; i < count && text[i] != 0; ++i)
    {
        const char16_t unit = text[i];
        if (IsHighSurrogate(unit) && i + 1 < count && IsLowSurrogate(text[i + 1]))
        {
            const unsigned int codePoint = 0x10000 + ((unit - 0xD800u) << 10) + (text[i + 1] - 0xDC00u);
            AppendUtf8(out, codePoint);
            ++i;
            continue;
        }
        if (unit >= 0xD800 && unit <= 0xDFFF)
        {
            out.Append('?');
            continue;
        }
        if (unit == 0xFFFE || unit == 0xFFFF)
        {
            out.Append('?');
            continue;
        }
        AppendUtf8(out, unit);
    }
    return out;
}

xString WideToUtf8(const char16_t* text)
{
    return text ? WideToUtf8(text, TextLength(text)) : xString();
}

xString WideToUtf8(const xWString& text)
{
    return WideToUtf8(text.c_str(), text.Length());
}

namespace
{
// The code point of the `length`-byte sequence at `at` (the lead's bits under
// `leadMask`), or -1 when the text ends first or a continuation byte is missing.
int64_t SequenceValue(const unsigned char* bytes, size_t at, size_t count, size_t length, unsigned leadMask)
{
    if (at + length - 1 >= count)
        return -1;
    int64_t value = bytes[at] & leadMask;
    for (size_t i = 1; i < length; ++i)
    {
        if (!IsContinuation(bytes[at + i]))
            return -1;
        value = (value << 6) | (bytes[at + i] & 0x3Fu);
    }
    return value;
}

// Appends what the sequence at `at` stands for and returns the bytes it takes:
// a broken two- or three-byte sequence takes its whole length whatever follows,
// a broken longer one only its lead.
size_t AppendUtf8Sequence(const unsigned char* bytes, size_t at, size_t count, xWString& out)
{
    const unsigned char lead = bytes[at];
    if (lead < 0x80)
    {
        out.Append(static_cast<char16_t>(lead));
        return 1;
    }
    if (lead < 0xC0)
    {
        out.Append(Replacement);
        return 1;
    }
    if (lead < 0xE0)
    {
        const int64_t value = SequenceValue(bytes, at, count, 2, 0x1Fu);
        out.Append(value >= 0x80 ? static_cast<char16_t>(value) : Replacement);
        return 2;
    }
    if (lead < 0xF0)
    {
        const int64_t value = SequenceValue(bytes, at, count, 3, 0x0Fu);
        const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
        out.Append(value >= 0x800 && value <= 0xFFFD && !surrogate ? static_cast<char16_t>(value)
                                                                   : Replacement);
        return 3;
    }
    const size_t length = lead < 0xF8 ? 4 : (lead < 0xFC ? 5 : 6);
    const int64_t value = SequenceValue(bytes, at, count, length, 0x07u);
    if (value < 0)
    {
        out.Append(Replacement);
        return 1;
    }
    if (length == 4 && value >= 0x10000 && value <= 0x10FFFF)
    {
        out.Append(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
        out.Append(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
    }
    else
    {
        out.Append(Replacement);
    }
    return length;
}
} // namespace

xWString Utf8ToWide(const char* text, size_t count)
{
    xWString out;
    if (!text)
        return out;
    out.Reserve(count);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    for (size_t position = 0; position < count;)
        position += AppendUtf8Sequence(bytes, position, count, out);
    return out;
}

xWString Utf8ToWide(const char* text)
{
    return text ? Utf8ToWide(text, TextLength(text)) : xWString();
}

xWString Utf8ToWide(const xString& text)
{
    return Utf8ToWide(text.c_str(), text.Length());
}

size_t Utf8PrefixWithinLimit(const char* text, size_t count)
{
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t length = 0;
    while (length < count && bytes[length] != 0)
        ++length;
    if (length == 0)
        return 0;
    // Step back over the continuation bytes of the last sequence and see whether
    // its lead byte announced more bytes than are there.
    size_t leadPosition = length - 1;
    size_t steps = 0;
    while (leadPosition > 0 && IsContinuation(bytes[leadPosition]) && steps < 5)
    {
        --leadPosition;
        ++steps;
    }
    const unsigned char lead = bytes[leadPosition];
    size_t sequenceLength = 1;
    if (lead >= 0xC0 && lead < 0xE0)
        sequenceLength = 2;
    else if (lead >= 0xE0 && lead < 0xF0)
        sequenceLength = 3;
    else if (lead >= 0xF0 && lead < 0xF8)
        sequenceLength = 4;
    if (lead >= 0xC0 && length - leadPosition < sequenceLength)
        return leadPosition;
    return length;
}
