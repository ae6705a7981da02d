#include "GameArguments.h"

namespace
{
bool IsBlank(wchar_t c)
{
    return c == L' ' || c == L'\t';
}

size_t SkipBlanks(const std::wstring& text, size_t at)
{
    while (at < text.size() && IsBlank(text[at]))
        ++at;
    return at;
}

// The program name ends at the closing quote when it starts with one, else at
// the first blank: the rule CommandLineToArgvW applies to the first word.
size_t SkipProgramName(const std::wstring& text)
{
    size_t at = SkipBlanks(text, 0);
    if (at < text.size() && text[at] == L'"')
    {
        const size_t close = text.find(L'"', at + 1);
        return close == std::wstring::npos ? text.size() : close + 1;
    }
    while (at < text.size() && !IsBlank(text[at]))
        ++at;
    return at;
}

std::wstring TrimBlanks(const std::wstring& text)
{
    const size_t first = SkipBlanks(text, 0);
    size_t last = text.size();
    while (last > first && IsBlank(text[last - 1]))
        --last;
    return text.substr(first, last - first);
}

bool ReadUnsignedDecimal(const std::wstring& word, uint64_t& value)
{
    value = 0;
    if (word.empty())
        return false;
    for (wchar_t c : word)
    {
        if (c < L'0' || c > L'9')
            return false;
        const uint64_t digit = static_cast<uint64_t>(c - L'0');
        if (value > (UINT64_MAX - digit) / 10)
            return false;
        value = value * 10 + digit;
    }
    return true;
}
} // namespace

std::wstring ParseGameCommandLine(const std::wstring& commandLine, GameArguments& arguments)
{
    arguments = GameArguments();
    size_t at = SkipBlanks(commandLine, SkipProgramName(commandLine));
    size_t end = at;
    while (end < commandLine.size() && !IsBlank(commandLine[end]))
        ++end;
    const std::wstring handle = commandLine.substr(at, end - at);
    if (handle.empty())
        return L"the game view's window handle is missing";
    arguments.OwnView = handle == OwnViewSwitch;
    if (!arguments.OwnView)
    {
        if (!ReadUnsignedDecimal(handle, arguments.ViewHandle))
            return L"the game view's window handle '" + handle + L"' is not an unsigned decimal number";
        if (arguments.ViewHandle == 0)
            return L"the game view's window handle is 0";
    }

    std::wstring login = TrimBlanks(commandLine.substr(end));
    const std::wstring ignore = IgnoreCloseSwitch;
    if (login.size() >= ignore.size() &&
        login.compare(login.size() - ignore.size(), ignore.size(), ignore) == 0 &&
        (login.size() == ignore.size() || IsBlank(login[login.size() - ignore.size() - 1])))
    {
        arguments.IgnoreClose = true;
        login = TrimBlanks(login.substr(0, login.size() - ignore.size()));
    }
    if (login.empty())
        return L"the login text is missing";
    arguments.Login = login;
    return std::wstring();
}
