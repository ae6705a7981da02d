#include "xCommandLine.h"
#include "xTextConversion.h"

#include <fstream>
#include <iterator>
#include <string>

xWString xCommandLine::OfThisProcess()
{
    // Linux keeps the arguments apart; join them back into one line the way a
    // Windows shell would write it, quoting those that hold a blank.
    std::ifstream file("/proc/self/cmdline", std::ios::binary);
    const std::string raw((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    xString line;
    size_t start = 0;
    bool first = true;
    while (start < raw.size())
    {
        size_t end = raw.find('\0', start);
        if (end == std::string::npos)
            end = raw.size();
        const std::string argument = raw.substr(start, end - start);
        if (!first)
            line.Append(' ');
        const bool quote = first || argument.find(' ') != std::string::npos || argument.empty();
        if (quote)
            line.Append('"');
        line.Append(argument.c_str(), argument.size());
        if (quote)
            line.Append('"');
        first = false;
        start = end + 1;
    }
    return Utf8ToWide(line);
}
