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

// How formatting goes on after a piece: with the next one, or it ends here (the
// format's end reached inside a directive), or the output was cut.
enum class Step
{
    Next,
    End,
    Cut,
};

// Copies one character of plain text; a surrogate pair goes out whole or not
// at all, so a cut never leaves half a character.
Step PutPlainUnit(WideOutput& out, const char16_t*& p, const char16_t* end)
{
    const bool pair = *p >= 0xD800 && *p <= 0xDBFF && p + 1 < end && p[1] >= 0xDC00 && p[1] <= 0xDFFF;
    if (pair && !out.Fits(2))
        return Step::Cut;
    out.Put(*p++);
    if (pair)
        out.Put(*p++);
    return Step::Next;
}

// What a directive's conversion reads and how.
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
};

// The kind of the conversion at `p`; `conversion` is set to its last character
// ("ll" and "I64" sizes end at the integer's letter).
Kind ClassifyConversion(const char16_t* p, const char16_t* end, const char16_t*& conversion)
{
    conversion = p;
    switch (*p)
    {
    case u'%':
        return Kind::Percent;
    case u'c':
        return Kind::Character;
    case u'd':
    case u'i':
    case u'u':
    case u'x':
    case u'X':
        return Kind::Int32;
    case u'p':
        return Kind::Pointer;
    case u'e':
    case u'f':
    case u'g':
        return Kind::Double;
    case u's':
        return Kind::Text;
    case u'l':
        if (!(p + 2 < end && p[1] == u'l' && IsIntegerConversion(p[2])))
            return Kind::UnknownLong;
        conversion = p + 2;
        return Kind::Int64;
    case u'I':
        if (!(p + 3 < end && p[1] == u'6' && p[2] == u'4' && IsIntegerConversion(p[3])))
            return Kind::UnknownLong;
        conversion = p + 3;
        return Kind::I64;
    default:
        return Kind::Unknown;
    }
}

// Reads the flags, width and precision after "%" up to the conversion; the
// blanks right after "%" go out as they are. `width` is negative when left-aligned.
Step ReadDirectiveHead(WideOutput& out, const char16_t*& p, const char16_t* end, int& width)
{
    while (p < end && *p == u' ')
    {
        if (out.IsFull())
            return Step::Cut;
        out.Put(u' ');
        ++p;
    }
    width = 0;
    if (p < end && (*p == u'-' || IsDigit(*p)))
    {
        const bool leftAligned = *p == u'-';
        if (leftAligned)
            ++p;
        while (p < end && IsDigit(*p))
        {
            if (width < MaxWidth)
                width = width * 10 + (*p - u'0');
            ++p;
        }
        if (leftAligned)
            width = -width;
    }
    if (p < end && *p == u'.')
    {
        ++p;
        while (p < end && IsDigit(*p))
            ++p;
    }
    if (p >= end)
        return Step::End;
    if (*p == u'l' && p + 1 < end && p[1] == u's')
        ++p;
    return Step::Next;
}

// A text argument, padded to `width` (left-aligned when negative).
Step PutText(WideOutput& out, const char16_t* argument, int width)
{
    const xWString value = argument ? xWString(argument) : xWString(u"(null)");
    const size_t wanted = static_cast<size_t>(width < 0 ? -width : width);
    const size_t padding = wanted > value.Length() ? wanted - value.Length() : 0;
    if (!out.Fits(value.Length() + padding))
        return Step::Cut;
    if (width > 0)
        for (size_t i = 0; i < padding; ++i)
            out.Put(u' ');
    for (char16_t c : value)
        out.Put(c);
    if (width < 0)
        for (size_t i = 0; i < padding; ++i)
            out.Put(u' ');
    return Step::Next;
}

// A number argument through the C library; a number that does not fit its
// buffer is dropped, one that does not fit the output cuts it.
Step PutNumber(WideOutput& out, Kind kind, const char* directive, char16_t conversion, va_list* arguments)
{
    char number[WideNumberBufferSize];
    bool fits = false;
    switch (kind)
    {
    case Kind::Int32:
        fits = FormatNumber(number, NumberBufferSize, directive, va_arg(*arguments, int));
        break;
    case Kind::Pointer:
        // A pointer is as wide as the platform's pointers, not 32 bits, on 64-bit Windows.
        fits = FormatNumber(number, NumberBufferSize, directive, va_arg(*arguments, void*));
        break;
    case Kind::Int64:
        fits = FormatNumber(number, WideNumberBufferSize, directive, va_arg(*arguments, long long));
        break;
    case Kind::I64:
    {
        // Flags and width before "I64" are not carried over.
        const char i64Directive[5] = {'%', 'l', 'l', static_cast<char>(conversion), 0};
        fits = FormatNumber(number, WideNumberBufferSize, i64Directive, va_arg(*arguments, long long));
        break;
    }
    case Kind::Double:
        fits = FormatNumber(number, NumberBufferSize, directive, va_arg(*arguments, double));
        break;
    default:
        break;
    }
    if (!fits)
        return Step::Next;
    return out.PutNarrow(number, TextLength(number)) ? Step::Next : Step::Cut;
}

// One directive from its "%" at `p`, which moves past it. `text` is the whole
// format, for the report of an unknown size.
Step PutDirective(WideOutput& out, const char16_t*& p, const char16_t* text, const char16_t* end,
                  va_list* arguments)
{
    const char16_t* directive = p++;
    int width = 0;
    const Step head = ReadDirectiveHead(out, p, end, width);
    if (head != Step::Next)
        return head;
    const char16_t* conversion = p;
    const Kind kind = ClassifyConversion(p, end, conversion);
    if (kind == Kind::UnknownLong)
    {
        ReportUnknownLong(p, end, text);
        ++p; // what follows the "l" or "I" is copied as plain text
        return Step::Next;
    }
    if (kind == Kind::Unknown)
    {
        std::printf("Unknown percent [%d] in vswprintf_Replacement().\n", static_cast<int>(*p));
        ++p;
        return Step::Next;
    }
    const size_t directiveLength = static_cast<size_t>(conversion - directive) + 1;
    if (directiveLength > MaxDirectiveLength)
        return Step::Cut;
    char narrowDirective[MaxDirectiveLength + 1];
    NarrowDirective(directive, directiveLength, narrowDirective);
    p = conversion + 1;
    switch (kind)
    {
    case Kind::Percent:
        if (out.IsFull())
            return Step::Cut;
        out.Put(u'%');
        return Step::Next;
    case Kind::Character:
    {
        const char16_t character = static_cast<char16_t>(va_arg(*arguments, int) & 0xFFFF);
        if (out.IsFull())
            return Step::Cut;
        out.Put(character);
        return Step::Next;
    }
    case Kind::Text:
        return PutText(out, va_arg(*arguments, const char16_t*), width);
    default:
        return PutNumber(out, kind, narrowDirective, *conversion, arguments);
    }
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
    va_list left;
    va_copy(left, arguments);
    const char16_t* p = text;
    Step step = Step::Next;
    while (step == Step::Next && p < textEnd)
    {
        if (out.IsFull())
            step = Step::Cut;
        else if (*p != u'%')
            step = PutPlainUnit(out, p, textEnd);
        else
            step = PutDirective(out, p, text, textEnd, &left);
    }
    va_end(left);
    return out.Finish(step == Step::Cut);
}

int swprintf_Replacement(char16_t* buffer, size_t capacity, const char16_t* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const int result = vswprintf_Replacement(buffer, capacity, format, arguments);
    va_end(arguments);
    return result;
}
