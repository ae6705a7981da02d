#include "xTextConversion.h"

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

xWString Utf8ToWide(const char* text, size_t count)
{
    xWString out;
    if (!text)
        return out;
    out.Reserve(count);
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text);
    size_t position = 0;
    while (position < count)
    {
        const unsigned char lead = bytes[position];
        if (lead < 0x80)
        {
            out.Append(static_cast<char16_t>(lead));
            position += 1;
            continue;
        }
        if (lead < 0xC0)
        {
            out.Append(Replacement);
            position += 1;
            continue;
        }
        if (lead < 0xE0)
        {
            // Two bytes are consumed whatever the second one is.
            char16_t unit = Replacement;
            if (position + 1 < count && IsContinuation(bytes[position + 1]))
            {
                const unsigned int value = ((lead & 0x1Fu) << 6) | (bytes[position + 1] & 0x3Fu);
                if (value >= 0x80)
                    unit = static_cast<char16_t>(value);
            }
            out.Append(unit);
            position += 2;
            continue;
        }
        if (lead < 0xF0)
        {
            char16_t unit = Replacement;
            if (position + 2 < count && IsContinuation(bytes[position + 1]) &&
                IsContinuation(bytes[position + 2]))
            {
                const unsigned int value = ((lead & 0x0Fu) << 12) | ((bytes[position + 1] & 0x3Fu) << 6) |
                                           (bytes[position + 2] & 0x3Fu);
                const bool surrogate = value >= 0xD800 && value <= 0xDFFF;
                if (value >= 0x800 && value <= 0xFFFD && !surrogate)
                    unit = static_cast<char16_t>(value);
            }
            out.Append(unit);
            position += 3;
            continue;
        }
        const size_t followers = lead < 0xF8 ? 3 : (lead < 0xFC ? 4 : 5);
        bool complete = position + followers < count;
        for (size_t i = 1; complete && i <= followers; ++i)
            complete = IsContinuation(bytes[position + i]);
        if (!complete)
        {
            out.Append(Replacement);
            position += 1;
            continue;
        }
        if (followers == 3)
        {
            const unsigned int value = ((lead & 0x07u) << 18) | ((bytes[position + 1] & 0x3Fu) << 12) |
                                       ((bytes[position + 2] & 0x3Fu) << 6) | (bytes[position + 3] & 0x3Fu);
            if (value >= 0x10000 && value <= 0x10FFFF)
            {
                out.Append(static_cast<char16_t>(0xD800 + ((value - 0x10000) >> 10)));
                out.Append(static_cast<char16_t>(0xDC00 + ((value - 0x10000) & 0x3FF)));
            }
            else
            {
                out.Append(Replacement);
            }
        }
        else
        {
            out.Append(Replacement);
        }
        position += followers + 1;
    }
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
