#include "AutoLogin.h"
#include "LauncherDownload.h"

#include "xLogLine.h"
#include "xStringOps.h"
#include "xTextConversion.h"

namespace
{
// Keys are twelve characters; shorter ones are not asked for, longer ones are cut.
constexpr size_t KeyLength = 12;

bool IsUnreserved(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
}

xString CleanAnswer(const xString& answer)
{
    xString text = ReplaceAll(answer, "{", "");
    text = ReplaceAll(text, "}", "");
    text = ReplaceAll(text, "\\", "");
    return ReplaceAll(text, "\"", "");
}
} // namespace

xString AutoLoginKeyForQuery(const xWString& key)
{
    const xString utf8(key);
    const size_t kept = Utf8PrefixWithinLimit(utf8.c_str(), KeyLength);
    // A key may come from a file name or a web page: a "&", "#" or blank in it
    // must not change the meaning of the query.
    static const char hex[] = "0123456789ABCDEF";
    xString query;
    for (size_t i = 0; i < kept; ++i)
    {
        const unsigned char c = static_cast<unsigned char>(utf8[i]);
        if (IsUnreserved(c))
        {
            query.Append(static_cast<char>(c));
            continue;
        }
        const char escaped[3] = {'%', hex[c >> 4], hex[c & 0x0F]};
        query.Append(escaped, 3);
    }
    return query;
}

xWString LaunchParamFromAnswer(const xString& answer)
{
    const xString cleaned = CleanAnswer(answer);
    const ptrdiff_t marker = FindText(cleaned, xString("url:"));
    if (cleaned.Length() <= 3 || marker < 0)
        return {};
    return Utf8ToWide(SubText(cleaned, static_cast<size_t>(marker) + 4));
}

xWString TranslateAutoLoginKey(const xWString& key, const xString& translateUrl)
{
    if (key.Length() < KeyLength)
        return {};
    const xString url = translateUrl + AutoLoginKeyForQuery(key);
    LogLine("Autokey Gets %s", url.c_str());
    xString answer;
    FetchText(url, answer);
    LogLine("autologin: %s\n", answer.c_str());
    LogLine("augologin formated: %s\n", CleanAnswer(answer).c_str());
    return LaunchParamFromAnswer(answer);
}
