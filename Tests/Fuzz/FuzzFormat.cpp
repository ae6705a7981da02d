// The formatters with the launcher's own kind of format strings and outside
// values. The input gives a buffer size, a format template whose directives are
// rebuilt from a fixed grammar (so every directive and its argument agree), and
// up to three argument values. The wide output must be the expected text, or,
// when cut, the longest run of whole pieces that fits; the narrow one a prefix of
// its text that never ends inside a UTF-8 sequence.
#include "FuzzCheck.h"

#include "xFormat.h"
#include "xTextConversion.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <variant>
#include <vector>

namespace
{
constexpr size_t MaxArguments = 3;
using Argument = std::variant<int, long long, double, void*, const char16_t*>;

struct Expected
{
    std::u16string Format;
    // The output in the pieces it is written in: a character, a number, a padded text.
    std::vector<std::u16string> Pieces;
    std::vector<Argument> Arguments;
    std::vector<xWString> Texts; // what the text arguments point at
};

// The characters of a literal run, a surrogate pair as one piece.
void AddLiteral(Expected& expected, const std::string& bytes)
{
    const xWString wide = Utf8ToWide(bytes.data(), bytes.size());
    for (size_t i = 0; i < wide.Length(); ++i)
    {
        std::u16string piece(1, wide[i]);
        if (wide[i] >= 0xD800 && wide[i] <= 0xDBFF && i + 1 < wide.Length() && wide[i + 1] >= 0xDC00 &&
            wide[i + 1] <= 0xDFFF)
            piece += wide[++i];
        if (piece[0] == 0)
            continue;
        expected.Format += piece;
        expected.Pieces.push_back(piece);
    }
}

// A number formatted by the C library; a result that does not fit the formatter's
// own buffer for it is left out.
template <typename Value> std::u16string Number(const std::string& directive, Value value, size_t limit)
{
    char text[512];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
    const int length = std::snprintf(text, sizeof text, directive.c_str(), value);
#pragma GCC diagnostic pop
    if (length < 0 || static_cast<size_t>(length) >= limit)
        return {};
    return std::u16string(text, text + length);
}

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool IsIntegerConversion(char c)
{
    return c == 'd' || c == 'i' || c == 'u' || c == 'x' || c == 'X';
}

// The literal run before a directive, then the directive. A directive left out
// joins the runs around it, as in the format the formatter sees.
void Emit(Expected& expected, std::string& literal, const std::u16string& directive,
          const std::u16string& piece)
{
    AddLiteral(expected, literal);
    literal.clear();
    expected.Format += directive;
    expected.Pieces.push_back(piece);
}

// Reads one directive at `at` (just after "%"); false leaves the "%" out.
bool AddDirective(Expected& expected, std::string& literal, const std::string& format, size_t& at,
                  FuzzReader& values)
{
    std::string flags;
    if (at < format.size() && format[at] == '-')
        flags += format[at++];
    std::string width;
    while (at < format.size() && IsDigit(format[at]))
    {
        if (width.size() < 6)
            width += format[at];
        ++at;
    }
    std::string precision;
    if (at < format.size() && format[at] == '.')
    {
        ++at;
        precision = ".";
        while (at < format.size() && IsDigit(format[at]))
        {
            if (precision.size() < 3)
                precision += format[at];
            ++at;
        }
    }
    if (at >= format.size())
        return false;
    const char conversion = format[at];
    if (conversion == '%')
    {
        ++at;
        Emit(expected, literal, u"%%", u"%");
        return true;
    }
    if (expected.Arguments.size() == MaxArguments)
        return false;
    const std::string value = values.Until('\0');
    const std::string spec = "%" + flags + width + precision;
    if (conversion == 'c')
    {
        ++at;
        char16_t unit = static_cast<char16_t>(std::strtol(value.c_str(), nullptr, 0) & 0xFFFF);
        if (unit == 0)
            unit = u'?';
        Emit(expected, literal, u"%c", std::u16string(1, unit));
        expected.Arguments.push_back(static_cast<int>(unit));
        return true;
    }
    const bool wideS = conversion == 'l' && at + 1 < format.size() && format[at + 1] == 's';
    if (conversion == 's' || wideS)
    {
        at += wideS ? 2 : 1;
        const xWString& text = expected.Texts.emplace_back(Utf8ToWide(value.data(), value.size()));
        const std::u16string shown = value.empty() ? u"(null)" : Units(text);
        const size_t padTo = width.empty() ? 0 : std::stoul(width);
        std::u16string piece = shown;
        if (padTo > shown.size())
            piece = flags.empty() ? std::u16string(padTo - shown.size(), u' ') + shown
                                  : shown + std::u16string(padTo - shown.size(), u' ');
        Emit(expected, literal, std::u16string(spec.begin(), spec.end()) + (wideS ? u"ls" : u"s"), piece);
        expected.Arguments.push_back(value.empty() ? nullptr : text.c_str());
        return true;
    }
    std::string directive;
    std::u16string piece;
    if (IsIntegerConversion(conversion))
    {
        directive = spec + conversion;
        const int number = static_cast<int>(std::strtoll(value.c_str(), nullptr, 0));
        piece = Number(directive, number, 30);
        expected.Arguments.push_back(number);
        at += 1;
    }
    else if (conversion == 'l' && at + 2 < format.size() && format[at + 1] == 'l' &&
             IsIntegerConversion(format[at + 2]))
    {
        directive = spec + "ll" + format[at + 2];
        const long long number = std::strtoll(value.c_str(), nullptr, 0);
        piece = Number(directive, number, 60);
        expected.Arguments.push_back(number);
        at += 3;
    }
    else if (conversion == 'I' && flags.empty() && width.empty() && precision.empty() &&
             at + 3 < format.size() && format.compare(at, 3, "I64") == 0 &&
             IsIntegerConversion(format[at + 3]))
    {
        directive = std::string("%I64") + format[at + 3];
        const long long number = std::strtoll(value.c_str(), nullptr, 0);
        piece = Number(std::string("%ll") + format[at + 3], number, 60);
        expected.Arguments.push_back(number);
        at += 4;
    }
    else if (conversion == 'p')
    {
        directive = spec + "p";
        void* const pointer =
            reinterpret_cast<void*>(static_cast<uintptr_t>(std::strtoull(value.c_str(), nullptr, 16)));
        piece = Number(directive, pointer, 30);
        expected.Arguments.push_back(pointer);
        at += 1;
    }
    else if (conversion == 'e' || conversion == 'f' || conversion == 'g')
    {
        directive = spec + conversion;
        const double number = std::strtod(value.c_str(), nullptr);
        piece = Number(directive, number, 30);
        expected.Arguments.push_back(number);
        at += 1;
    }
    else
        return false;
    Emit(expected, literal, std::u16string(directive.begin(), directive.end()), piece);
    return true;
}

void CheckWide(const Expected& expected, size_t capacity)
{
    std::vector<Argument> arguments = expected.Arguments;
    arguments.resize(MaxArguments, 0);
    std::vector<char16_t> buffer(capacity, u'#');
    const xWString format(expected.Format.c_str(), expected.Format.size());
    const int result =
        std::visit([&](auto a, auto b, auto c)
                   { return swprintf_Replacement(buffer.data(), capacity, format.c_str(), a, b, c); },
                   arguments[0], arguments[1], arguments[2]);

    // Pieces go out whole until one meets a full output or does not fit.
    const size_t limit = capacity - 1;
    std::u16string written;
    bool cut = false;
    for (const std::u16string& piece : expected.Pieces)
    {
        if (written.size() == limit || piece.size() > limit - written.size())
        {
            cut = true;
            break;
        }
        written += piece;
    }
    FUZZ_CHECK(result == (cut ? -1 : static_cast<int>(written.size())));
    FUZZ_CHECK(std::u16string(buffer.data(), written.size()) == written);
    FUZZ_CHECK(buffer[written.size()] == 0);
}

void CheckNarrow(const std::string& value, size_t size)
{
    std::vector<char> buffer(size, '#');
    const std::string text = "[" + value.substr(0, value.find('\0')) + "]";
    const size_t length = FormatNarrow(buffer.data(), size, "[%s]", value.c_str());
    FUZZ_CHECK(length <= size - 1 && buffer[length] == 0);
    FUZZ_CHECK(text.compare(0, length, buffer.data()) == 0);
    if (length < text.size())
    {
        // Cut: at most one sequence's start dropped, and only where valid text
        // would have split a sequence.
        FUZZ_CHECK(length + 3 >= size - 1);
        if (length < size - 1)
            FUZZ_CHECK((static_cast<unsigned char>(text[length]) & 0xC0) == 0xC0);
    }
    else
        FUZZ_CHECK(length == text.size());
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    FuzzReader reader(data, size);
    const size_t capacity = 1 + reader.Byte();
    const std::string format = reader.Until('\0');

    Expected expected;
    expected.Texts.reserve(MaxArguments);
    std::string literal;
    for (size_t at = 0; at < format.size();)
    {
        if (format[at] != '%')
        {
            literal += format[at++];
            continue;
        }
        ++at;
        AddDirective(expected, literal, format, at, reader);
    }
    AddLiteral(expected, literal);
    CheckWide(expected, capacity);

    CheckNarrow(reader.Rest(), capacity);
    return 0;
}
