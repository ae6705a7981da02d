#include "xProcess.h"

#include <utility>

xProcessHandle::xProcessHandle(xProcessHandle&& other) noexcept
    : Native(std::exchange(other.Native, 0)), Ended(other.Ended), ExitCode(other.ExitCode)
{
}

xProcessHandle& xProcessHandle::operator=(xProcessHandle&& other) noexcept
{
    if (this != &other)
    {
        Close();
        Native = std::exchange(other.Native, 0);
        Ended = other.Ended;
        ExitCode = other.ExitCode;
    }
    return *this;
}

xWString BuildCommandLine(const xWString& executablePath, const xWString& arguments)
{
    xWString commandLine(u"\"");
    commandLine += executablePath;
    commandLine += u"\" ";
    commandLine += arguments;
    return commandLine;
}

std::vector<xString> SplitArguments(const xString& arguments)
{
    std::vector<xString> result;
    xString current;
    bool inArgument = false;
    bool quoted = false;
    for (const char c : arguments)
    {
        if (c == '"')
        {
            quoted = !quoted;
            inArgument = true;
        }
        else if ((c == ' ' || c == '\t') && !quoted)
        {
            if (inArgument)
                result.push_back(current);
            current.Clear();
            inArgument = false;
        }
        else
        {
            current += c;
            inArgument = true;
        }
    }
    if (inArgument)
        result.push_back(current);
    return result;
}
