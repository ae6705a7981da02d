#include "HttpHeaderParse.h"
#include "LauncherDownloadInternal.h"
#include "UrlParts.h"

#include "xStringOps.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>

namespace
{
const char* const DeviceNames[] = {"CON",  "PRN",  "AUX",  "NUL",  "COM1", "COM2", "COM3", "COM4",
                                   "COM5", "COM6", "COM7", "COM8", "COM9", "LPT1", "LPT2", "LPT3",
                                   "LPT4", "LPT5", "LPT6", "LPT7", "LPT8", "LPT9"};
} // namespace

namespace LauncherDownloadInternal
{
xString SignedText(int64_t value)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%" PRId64, value);
    return xString(text);
}

// The last component of a cracked URL's path, as the file is named on the server.
bool UrlFileName(const UrlParts& parts, xString& name)
{
    size_t slash = parts.Path.Length();
    while (slash > 0 && parts.Path[slash - 1] != '/')
        --slash;
    // The file keeps the name it has on the server, not its escaped form.
    name = DecodePercentEscapes(SubText(parts.Path, slash));
    return !name.IsEmpty();
}
} // namespace LauncherDownloadInternal

using namespace LauncherDownloadInternal;

bool GetUrlFileName(const xString& url, xString& name)
{
    UrlParts parts;
    return CrackUrl(url, parts) && UrlFileName(parts, name);
}

bool IsPlainFileName(const xString& name)
{
    if (name.IsEmpty() || FindText(name, "..") >= 0)
        return false;
    for (char c : name)
    {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 0x20 || u == 0x7F || std::strchr("/\\:*?\"<>|", c) != nullptr)
            return false;
    }
    // Windows drops a trailing dot or blank, so "a." would land on "a".
    if (name.Last() == '.' || name.Last() == ' ')
        return false;
    return !IsDeviceName(name);
}

bool IsDeviceName(const xString& name)
{
    // "NUL.td" is the null device on Windows, whatever the extension.
    const ptrdiff_t dot = FindText(name, ".");
    const xString stem = dot < 0 ? name : SubText(name, 0, static_cast<size_t>(dot));
    for (const char* device : DeviceNames)
    {
        if (EqualsNoCase(stem, device))
            return true;
    }
    return false;
}

int64_t ParseContentLength(const xString& text)
{
    // WinINet is asked for the header in a 30-byte buffer; a longer text does not fit.
    if (text.Length() >= 30)
        return -1;
    size_t at = 0;
    while (at < text.Length() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    if (at == text.Length() || text[at] < '0' || text[at] > '9')
        return -1;
    uint64_t value = 0;
    while (at < text.Length() && text[at] >= '0' && text[at] <= '9')
    {
        value = value * 10 + static_cast<uint64_t>(text[at] - '0');
        if (value > static_cast<uint64_t>(INT64_MAX))
            return -1;
        ++at;
    }
    while (at < text.Length() && (text[at] == ' ' || text[at] == '\t'))
        ++at;
    return at == text.Length() ? static_cast<int64_t>(value) : -1;
}

bool ParseContentRange(const xString& text, ContentRange& range)
{
    auto number = [&](size_t& at, uint64_t& value)
    {
        const size_t start = at;
        value = 0;
        while (at < text.Length() && text[at] >= '0' && text[at] <= '9')
        {
            if (at - start >= 19)
                return false;
            value = value * 10 + static_cast<uint64_t>(text[at] - '0');
            ++at;
        }
        return at > start;
    };
    if (!StartsWith(text, "bytes "))
        return false;
    size_t at = 6;
    ContentRange parsed;
    if (!number(at, parsed.First) || at >= text.Length() || text[at] != '-')
        return false;
    ++at;
    if (!number(at, parsed.Last) || at >= text.Length() || text[at] != '/' || parsed.Last < parsed.First)
        return false;
    ++at;
    if (at + 1 == text.Length() && text[at] == '*')
        parsed.Total = -1;
    else
    {
        uint64_t total = 0;
        if (!number(at, total) || at != text.Length() || total <= parsed.Last)
            return false;
        parsed.Total = static_cast<int64_t>(total);
    }
    range = parsed;
    return true;
}

xString MakeRangeHeader(uint64_t first, uint64_t length)
{
    // Unsigned arithmetic wraps where signed would overflow; 0 - 1 prints as -1.
    return "Range: bytes=" + SignedText(static_cast<int64_t>(first)) + "-" +
           SignedText(static_cast<int64_t>(first + length - 1)) + "\r\n";
}
