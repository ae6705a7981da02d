#include "xCommandLine.h"

namespace
{
size_t SkipUntil(const xWString& line, size_t position, char16_t stop)
{
    while (position < line.Length() && line[position] != stop)
        ++position;
    return position;
}
} // namespace

xCommandLine::xCommandLine(const xWString& line, bool skipProgramName)
{
    size_t position = 0;
    const size_t length = line.Length();
    if (skipProgramName)
    {
        if (length > 0 && line[0] == u'"')
        {
            position = SkipUntil(line, 1, u'"');
            if (position < length)
                ++position;
        }
        position = SkipUntil(line, position, u' ');
    }

    while (position < length)
    {
        const char16_t unit = line[position];
        if (unit == u' ')
        {
            ++position;
            continue;
        }
        if (unit == u'"')
        {
            // A quote without its partner runs to the end of the line.
            const size_t end = SkipUntil(line, position + 1, u'"');
            Texts.emplace_back(line.c_str() + position + 1, end - position - 1);
            Kinds.push_back(Quoted);
            position = end < length ? end + 1 : end;
            continue;
        }
        const size_t end = SkipUntil(line, position, u' ');
        Texts.emplace_back(line.c_str() + position, end - position);
        Kinds.push_back(unit == u'-' ? Option : Plain);
        position = end;
    }
}

xWString xCommandLine::Argument(size_t index) const
{
    return index < Texts.size() ? Texts[index] : xWString();
}
