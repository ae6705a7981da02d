#include "UrlParts.h"

#include "xStringOps.h"

namespace
{
bool IsHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

bool IsPathCharacter(char c)
{
    const unsigned char u = static_cast<unsigned char>(c);
    return u > 0x20 && u < 0x7F;
}
} // namespace

bool CrackUrl(const xString& url, UrlParts& parts)
{
    static const char Scheme[] = "http://";
    constexpr size_t SchemeLength = sizeof(Scheme) - 1;
    if (url.Length() < SchemeLength || CompareNoCase(SubText(url, 0, SchemeLength), Scheme) != 0)
        return false;

    size_t at = SchemeLength;
    const size_t hostStart = at;
    while (at < url.Length() && IsHostCharacter(url[at]))
        ++at;
    const size_t hostLength = at - hostStart;
    if (hostLength == 0 || hostLength > UrlParts::MaxHost)
        return false;

    uint32_t port = 80;
    if (at < url.Length() && url[at] == ':')
    {
        ++at;
        port = 0;
        size_t digits = 0;
        while (at < url.Length() && url[at] >= '0' && url[at] <= '9' && digits < 6)
        {
            port = port * 10 + static_cast<uint32_t>(url[at] - '0');
            ++at;
            ++digits;
        }
        if (digits == 0 || port == 0 || port > 65535)
            return false;
    }
    // Anything else after the host ("@", "[", a blank, a sixth port digit) is no URL we take.
    if (at < url.Length() && url[at] != '/' && url[at] != '?' && url[at] != '#')
        return false;

    size_t pathEnd = at;
    while (pathEnd < url.Length() && url[pathEnd] != '#')
        ++pathEnd;
    xString path = SubText(url, at, pathEnd - at);
    if (path.IsEmpty() || path[0] == '?')
        path = "/" + path;
    if (path.Length() > UrlParts::MaxPath)
        return false;
    for (char c : path)
    {
        if (!IsPathCharacter(c))
            return false;
    }

    parts.Host = SubText(url, hostStart, hostLength);
    parts.Path = path;
    parts.Port = static_cast<uint16_t>(port);
    return true;
}
