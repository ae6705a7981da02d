#include "xFormat.h"
#include "xString.h"
#include "xTextConversion.h"

#include <cstdint>
#include <cstdio>

namespace
{
// The C library formats a number into these; a piece that does not fit is dropped.
constexpr size_t NumberBufferSize = 30;
constexpr size_t WideNumberBufferSize = 60;
// Longest directive (from "%" to the conversion character) handed to the C library.
constexpr size_t MaxDirectiveLength = 29;
// Keeps a hostile width from overflowing; no buffer the launcher uses comes near it.
constexpr int MaxWidth = 1 << 20;

bool IsDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool IsIntegerConversion(char16_t c)
{
    return c == u'd' || c == u'i' || c == u'u' || c == u'x' || c == u'X';
}

class WideOutput
{
public:
    WideOutput(char16_t* buffer, size_t capacity) : Buffer(buffer), Limit(capacity - 1) {}

    bool IsFull() const { return Written >= Limit; }
    bool Fits(size_t count) const { return count <= Limit - Written; }
    void Put(char16_t c) { Buffer[Written++] = c; }
    bool PutNarrow(const char* text, size_t length)
    {
        if (!Fits(length))
            return false;
        for (size_t i = 0; i < length; ++i)
            Put(static_cast<unsigned char>(text[i]));
        return true;
    }
    int Finish(bool cut)
    {
        Buffer[Written] = 0;
        return cut ? -1 : static_cast<int>(Written);
    }

private:
    char16_t* Buffer;
    size_t Limit;
    size_t Written = 0;
};

// Narrow copy of a directive; it holds only ASCII (blanks, "-", digits, ".", letters).
void NarrowDirective(const char16_t* start, size_t length, char* out)
{
    for (size_t i = 0; i < length; ++i)
        out[i] = static_cast<char>(start[i]);
    out[length] = 0;
}

// Formats one number with the C library; false when it does not fit `size` bytes.
template <typename Value> bool FormatNumber(char* out, size_t size, const char* directive, Value value)
{
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    const int length = std::snprintf(out, size, directive, value);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    return length >= 0 && static_cast<size_t>(length) < size;
}

void ReportUnknownLong(const char16_t* at, const char16_t* end, const char16_t* format)
{
    char16_t three[4] = {0, 0, 0, 0};
    for (int i = 0; i < 3 && at + i < end; ++i)
        three[i] = at[i];
    const xString shown = WideToUtf8(three, 3);
    const xString whole = WideToUtf8(format);
    std::printf("Unknown percent [%s] in vswprintf_Replacement() [%s]\n.", shown.c_str(), whole.c_str());
}
} // namespace

size_t FormatNarrowV(char* buffer, size_t size, const char* format, va_list arguments)
{
    if (!buffer || size == 0)
        return 0;
    buffer[0] = 0;
    if (!format)
        return 0;
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
#endif
    const int length = std::vsnprintf(buffer, size, format, arguments);
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif
    if (length < 0)
    {
        buffer[0] = 0;
        return 0;
    }
    if (static_cast<size_t>(length) < size)
        return static_cast<size_t>(length);
    // Cut: drop a UTF-8 sequence that the limit split in two.
    const size_t kept = Utf8PrefixWithinLimit(buffer, size - 1);
    buffer[kept] = 0;
    return kept;
}

size_t FormatNarrow(char* buffer, size_t size, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const size_t length = FormatNarrowV(buffer, size, format, arguments);
    va_end(arguments);
    return length;
}

void PrintNarrow(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    std::vprintf(format, arguments);
    va_end(arguments);
}

int vswprintf_Replacement(char16_t* buffer, size_t capacity, const char16_t* format, va_list arguments)
{
    if (!format)
    {
        if (buffer && capacity > 0)
            buffer[0] = 0;
        return 0;
    }
    if (!buffer || capacity == 0)
        return -1;

    // The format is read from a copy, so a format that lies inside the output buffer stays intact.
    const xWString copy(format);
    const char16_t* text = copy.c_str();
    const char16_t* const textEnd = text + copy.Length();
    WideOutput out(buffer, capacity);

    const char16_t* p = text;
    while (p < textEnd)
    {
        if (out.IsFull())
            return out.Finish(true);
        if (*p != u'%')
        {
            // A surrogate pair goes out whole or not at all, so a cut never leaves half a character.
            const bool pair =
                *p >= 0xD800 && *p <= 0xDBFF && p + 1 < textEnd && p[1] >= 0xDC00 && p[1] <= 0xDFFF;
            if (pair && !out.Fits(2))
                return out.Finish(true);
            out.Put(*p++);
            if (pair)
                out.Put(*p++);
            continue;
        }

        const char16_t* directive = p++;
        while (p < textEnd && *p == u' ')
        {
            if (out.IsFull())
                return out.Finish(true);
            out.Put(u' ');
            ++p;
        }
        int width = 0;
        if (p < textEnd && (*p == u'-' || IsDigit(*p)))
        {
            const bool leftAligned = *p == u'-';
            if (leftAligned)
                ++p;
            while (p < textEnd && IsDigit(*p))
            {
                if (width < MaxWidth)
                    width = width * 10 + (*p - u'0');
                ++p;
            }
            if (leftAligned)
                width = -width;
        }
        if (p < textEnd && *p == u'.')
        {
            ++p;
            while (p < textEnd && IsDigit(*p))
                ++p;
        }
        if (p >= textEnd)
            break;
        if (*p == u'l' && p + 1 < textEnd && p[1] == u's')
            ++p;

        // Work out which characters end the directive and how its argument is read.
        enum class Kind
        {
            Percent,
            Character,
            Int32,
            Pointer,
            Int64,
            I64,
            Double,
            Text,
            UnknownLong,
            Unknown
        } kind = Kind::Unknown;
        const char16_t* conversion = p;
        switch (*p)
        {
        case u'%':
            kind = Kind::Percent;
            break;
        case u'c':
            kind = Kind::Character;
            break;
        case u'd':
        case u'i':
        case u'u':
        case u'x':
        case u'X':
            kind = Kind::Int32;
            break;
        case u'p':
            kind = Kind::Pointer;
            break;
        case u'e':
        case u'f':
        case u'g':
            kind = Kind::Double;
            break;
        case u's':
            kind = Kind::Text;
            break;
        case u'l':
            if (p + 2 < textEnd && p[1] == u'l' && IsIntegerConversion(p[2]))
            {
                kind = Kind::Int64;
                conversion = p + 2;
            }
            else
                kind = Kind::UnknownLong;
            break;
        case u'I':
            if (p + 3 < textEnd && p[1] == u'6' && p[2] == u'4' && IsIntegerConversion(p[3]))
            {
                kind = Kind::I64;
                conversion = p + 3;
            }
            else
                kind = Kind::UnknownLong;
            break;
        default:
            break;
        }

        if (kind == Kind::UnknownLong)
        {
            ReportUnknownLong(p, textEnd, text);
            ++p; // what follows the "l" or "I" is copied as plain text
            continue;
        }
        if (kind == Kind::Unknown)
        {
            std::printf("Unknown percent [%d] in vswprintf_Replacement().\n", static_cast<int>(*p));
            ++p;
            continue;
        }

        const size_t directiveLength = static_cast<size_t>(conversion - directive) + 1;
        if (directiveLength > MaxDirectiveLength)
            return out.Finish(true);
        char narrowDirective[MaxDirectiveLength + 1];
        NarrowDirective(directive, directiveLength, narrowDirective);
        p = conversion + 1;

        char number[WideNumberBufferSize];
        bool numberFits = false;
        switch (kind)
        {
        case Kind::Percent:
            if (out.IsFull())
                return out.Finish(true);
            out.Put(u'%');
            continue;
        case Kind::Character:
        {
            const char16_t character = static_cast<char16_t>(va_arg(arguments, int) & 0xFFFF);
            if (out.IsFull())
                return out.Finish(true);
            out.Put(character);
            continue;
        }
        case Kind::Text:
        {
            const char16_t* argument = va_arg(arguments, const char16_t*);
            const xWString value = argument ? xWString(argument) : xWString(u"(null)");
            const size_t padding = static_cast<size_t>(width < 0 ? -width : width) > value.Length()
                                       ? static_cast<size_t>(width < 0 ? -width : width) - value.Length()
                                       : 0;
            if (!out.Fits(value.Length() + padding))
                return out.Finish(true);
            if (width > 0)
                for (size_t i = 0; i < padding; ++i)
                    out.Put(u' ');
            for (char16_t c : value)
                out.Put(c);
            if (width < 0)
                for (size_t i = 0; i < padding; ++i)
                    out.Put(u' ');
            continue;
        }
        case Kind::Int32:
            numberFits = FormatNumber(number, NumberBufferSize, narrowDirective, va_arg(arguments, int));
            break;
        case Kind::Pointer:
            // A pointer is as wide as the platform's pointers, not 32 bits, on 64-bit Windows.
            numberFits = FormatNumber(number, NumberBufferSize, narrowDirective, va_arg(arguments, void*));
            break;
        case Kind::Int64:
            numberFits =
                FormatNumber(number, WideNumberBufferSize, narrowDirective, va_arg(arguments, long long));
            break;
        case Kind::I64:
        {
            // Flags and width before "I64" are not carried over.
            const char i64Directive[5] = {'%', 'l', 'l', static_cast<char>(*conversion), 0};
            numberFits =
                FormatNumber(number, WideNumberBufferSize, i64Directive, va_arg(arguments, long long));
            break;
        }
        case Kind::Double:
            numberFits = FormatNumber(number, NumberBufferSize, narrowDirective, va_arg(arguments, double));
            break;
        default:
            break;
        }
        if (!numberFits)
            continue;
        if (!out.PutNarrow(number, TextLength(number)))
            return out.Finish(true);
    }
    return out.Finish(false);
}

int swprintf_Replacement(char16_t* buffer, size_t capacity, const char16_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const int result = vswprintf_Replacement(buffer, capacity, format, arguments);
    va_end(arguments);
    return result;
}
