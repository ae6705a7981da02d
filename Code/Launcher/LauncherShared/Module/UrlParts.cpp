#include "UrlParts.h"

#include "xStringOps.h"

namespace
{
bool IsHostCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_';
}

bool IsControl(unsigned char u)
{
    return u < 0x20 || u == 0x7F;
}

// A request line carries neither blanks nor bytes outside ASCII raw.
bool NeedsEscape(unsigned char u)
{
    return u == ' ' || u >= 0x80;
}
} // namespace

int HexDigitValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

xString DecodePercentEscapes(const xString& text)
{
    xString decoded;
    decoded.Reserve(text.Length());
    for (size_t at = 0; at < text.Length(); ++at)
    {
        const int high = text[at] == '%' && at + 2 < text.Length() ? HexDigitValue(text[at + 1]) : -1;
        const int low = high >= 0 ? HexDigitValue(text[at + 2]) : -1;
        if (low < 0)
        {
            decoded.Append(text[at]);
            continue;
        }
        decoded.Append(static_cast<char>(high * 16 + low));
        at += 2;
    }
    return decoded;
}

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
    xString path;
    if (at == pathEnd || url[at] == '?')
        path = "/";
    static const char Hex[] = "0123456789ABCDEF";
    for (size_t i = at; i < pathEnd; ++i)
    {
        const unsigned char u = static_cast<unsigned char>(url[i]);
        if (IsControl(u))
            return false;
        if (!NeedsEscape(u))
        {
            path.Append(url[i]);
            continue;
        }
        path.Append('%');
        path.Append(Hex[u >> 4]);
        path.Append(Hex[u & 15]);
    }
    if (path.Length() > UrlParts::MaxPath)
        return false;

    parts.Host = SubText(url, hostStart, hostLength);
    parts.Path = path;
    parts.Port = static_cast<uint16_t>(port);
    return true;
}
