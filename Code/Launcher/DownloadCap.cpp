#include "DownloadCap.h"

#include "BossKey.h"
#include "InternetSessions.h"

#include "xLogLine.h"

#include <cctype>
#include <charconv>
#include <cstring>

int64_t ParseDownloadCapLine(const xString& line)
{
    const char* cursor = line.c_str();
    const char* end = cursor + line.Length();
    while (end > cursor && (end[-1] == '\n' || end[-1] == '\r'))
        --end;
    const size_t prefix = std::strlen(DownloadCapPrefix);
    if (static_cast<size_t>(end - cursor) <= prefix || std::strncmp(cursor, DownloadCapPrefix, prefix) != 0)
        return -1;
    cursor += prefix;
    int64_t kib = 0;
    // from_chars takes a minus sign, which no cap has.
    if (!std::isdigit(static_cast<unsigned char>(*cursor)))
        return -1;
    const std::from_chars_result result = std::from_chars(cursor, end, kib);
    if (result.ec != std::errc() || result.ptr != end || kib > MostDownloadCapKiB)
        return -1;
    return kib;
}

xString SettingsAfterFirstLine(const xString& text)
{
    const char* start = text.c_str();
    const char* end = std::strchr(start, '\n');
    if (end == nullptr)
        return xString();
    // Line ends with nothing after them are not kept: the key's line alone is the whole file.
    if (std::strspn(end, "\r\n") == std::strlen(end))
        return xString();
    // The line end stays with the rest, "\r\n" whole.
    const char* from = end > start && end[-1] == '\r' ? end - 1 : end;
    return xString(from);
}

int64_t DownloadCapOfSettings(const xString& rest)
{
    const char* start = rest.c_str();
    while (*start == '\r' || *start == '\n')
        ++start;
    if (*start == 0)
        return -1;
    const char* end = std::strchr(start, '\n');
    const xString line =
        end == nullptr ? xString(start) : xString(start, static_cast<size_t>(end - start + 1));
    const int64_t kib = ParseDownloadCapLine(line);
    if (kib < 0)
        LogErrorLine(
            "Setting.ini holds no download cap of the form maxrate=<KiB/s>; downloads are not capped");
    return kib;
}

void ApplyDownloadCap(int64_t kib)
{
    if (kib == 0)
        LogLine("Download cap: none");
    else
        LogLine("Download cap: %lld KiB/s", static_cast<long long>(kib));
    CapDownloads(static_cast<uint64_t>(kib) * 1024u);
}

void LoadDownloadCap()
{
    xString text;
    if (!ReadSettingsFile(BossKeySettingsPath(), text))
        return;
    const int64_t kib = DownloadCapOfSettings(SettingsAfterFirstLine(text));
    if (kib >= 0)
        ApplyDownloadCap(kib);
}
