#include "VersionStamp.h"
#include "VersionFile.h"

#include "xStringOps.h"

#include <cstdio>
#include <vector>

namespace
{
// Days since 1970-01-01 of a proleptic Gregorian date (H. Hinnant's
// days_from_civil): no time zone, no C library, the same on every platform.
int64_t DaysFromCivil(int64_t year, int64_t month, int64_t day)
{
    year -= month <= 2 ? 1 : 0;
    const int64_t era = year / 400;
    const int64_t yearOfEra = year - era * 400;
    const int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

void CivilFromDays(int64_t days, int64_t& year, int64_t& month, int64_t& day)
{
    days += 719468;
    const int64_t era = days / 146097;
    const int64_t dayOfEra = days - era * 146097;
    const int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const int64_t shifted = (5 * dayOfYear + 2) / 153;
    day = dayOfYear - (153 * shifted + 2) / 5 + 1;
    month = shifted < 10 ? shifted + 3 : shifted - 9;
    year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
}

// `count` decimal digits of `text` from `at`.
bool Digits(const char* text, size_t at, size_t count, int64_t& value)
{
    value = 0;
    for (size_t i = at; i < at + count; ++i)
    {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

int64_t DaysInMonth(int64_t year, int64_t month)
{
    return DaysFromCivil(month == 12 ? year + 1 : year, month == 12 ? 1 : month + 1, 1) -
           DaysFromCivil(year, month, 1);
}
} // namespace

bool ParseSerialNumber(const xString& text, uint64_t& serial)
{
    if (text.IsEmpty() || text.Length() > 20)
        return false;
    serial = 0;
    for (char c : text)
    {
        if (c < '0' || c > '9')
            return false;
        const uint64_t digit = static_cast<uint64_t>(c - '0');
        if (serial > (UINT64_MAX - digit) / 10)
            return false;
        serial = serial * 10 + digit;
    }
    return true;
}

bool ParseUtcTime(const xString& text, int64_t& seconds)
{
    const char* t = text.c_str();
    if (text.Length() != 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' || t[16] != ':' ||
        t[19] != 'Z')
        return false;
    int64_t year, month, day, hour, minute, second;
    if (!Digits(t, 0, 4, year) || !Digits(t, 5, 2, month) || !Digits(t, 8, 2, day) ||
        !Digits(t, 11, 2, hour) || !Digits(t, 14, 2, minute) || !Digits(t, 17, 2, second))
        return false;
    if (year < 1970 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
        minute > 59 || second > 59)
        return false;
    seconds = DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
    return true;
}

xString FormatUtcTime(int64_t seconds)
{
    const int64_t days = seconds >= 0 ? seconds / 86400 : (seconds - 86399) / 86400;
    const int64_t rest = seconds - days * 86400;
    int64_t year, month, day;
    CivilFromDays(days, year, month, day);
    // Room for any 64-bit fields, though a stamp's are four and two digits.
    char text[160];
    std::snprintf(text, sizeof text, "%04lld-%02lld-%02lldT%02lld:%02lld:%02lldZ",
                  static_cast<long long>(year), static_cast<long long>(month), static_cast<long long>(day),
                  static_cast<long long>(rest / 3600), static_cast<long long>(rest / 60 % 60),
                  static_cast<long long>(rest % 60));
    return xString(text);
}

bool ParseVersionStamp(const xString& line, VersionStamp& stamp)
{
    stamp = VersionStamp();
    if (line.IsEmpty())
        return true;
    using namespace VersionFileFormat;
    for (const xString& entry : SplitVersionEntries(line))
    {
        xString key, value;
        if (!SplitVersionEntry(entry, key, value))
            return false;
        if (key == SerialKey)
        {
            if (stamp.HasSerial || !ParseSerialNumber(value, stamp.Serial))
                return false;
            stamp.HasSerial = true;
        }
        else if (key == ExpiresKey)
        {
            if (stamp.HasExpiry || !ParseUtcTime(value, stamp.Expires))
                return false;
            stamp.HasExpiry = true;
        }
    }
    return true;
}

xString FormatVersionStamp(const VersionStamp& stamp)
{
    using namespace VersionFileFormat;
    xString line;
    if (stamp.HasSerial)
    {
        char serial[32];
        std::snprintf(serial, sizeof serial, "%llu", static_cast<unsigned long long>(stamp.Serial));
        line = xString(SerialKey) + KeySeparator + serial;
    }
    if (stamp.HasExpiry)
        line += (line.IsEmpty() ? xString() : xString(EntrySeparator)) + ExpiresKey + KeySeparator +
                FormatUtcTime(stamp.Expires);
    return line;
}

xString SecondTextLine(const xString& text)
{
    const char* begin = text.c_str();
    const char* end = begin + text.Length();
    const char* at = begin;
    while (at < end && *at != '\n')
        ++at;
    if (at == end)
        return {};
    const char* start = ++at;
    while (at < end && *at != '\n' && *at != '\r')
        ++at;
    return xString(start, static_cast<size_t>(at - start));
}
