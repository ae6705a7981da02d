#include "xDateTime.h"

namespace
{
// Days before each month in a common year; the thirteenth entry is the whole year.
constexpr int DaysBeforeMonth[13] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

bool InRange(int value, int low, int high)
{
    return value >= low && value <= high;
}
} // namespace

bool xDateTime::IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

xDateTime xDateTime::FromCalendar(int year, int month, int day, int hour, int minute, int second,
                                  int millisecond)
{
    if (!InRange(year, 1, 30827) || !InRange(month, 1, 12) || !InRange(day, 1, 31) || !InRange(hour, 0, 23) ||
        !InRange(minute, 0, 59) || !InRange(second, 0, 59) || !InRange(millisecond, 0, 999))
        return xDateTime();

    const uint64_t yearsBefore = static_cast<uint64_t>(year - 1);
    uint64_t days = 365 * yearsBefore + yearsBefore / 4 - yearsBefore / 100 + yearsBefore / 400;
    days += static_cast<uint64_t>(DaysBeforeMonth[month - 1]);
    if (month > 2 && IsLeapYear(year))
        ++days;
    days += static_cast<uint64_t>(day - 1);

    const uint64_t ticks = (days * 24 + static_cast<uint64_t>(hour)) * TicksPerHour +
                           static_cast<uint64_t>(minute) * TicksPerMinute +
                           static_cast<uint64_t>(second) * TicksPerSecond +
                           static_cast<uint64_t>(millisecond) * TicksPerMillisecond;
    return xDateTime(ticks);
}

xDateTime::Calendar xDateTime::ToCalendar() const
{
    const uint64_t dayNumber = Ticks / TicksPerDay;

    // Fliegel and Van Flandern's conversion from the Julian day number; day 0
    // (0001-01-01) is Julian day 1 721 426.
    const int64_t julianDay = static_cast<int64_t>(dayNumber) + 1721426;
    int64_t l = julianDay + 68569;
    const int64_t n = 4 * l / 146097;
    l = l - (146097 * n + 3) / 4;
    const int64_t i = 4000 * (l + 1) / 1461001;
    l = l - 1461 * i / 4 + 31;
    const int64_t j = 80 * l / 2447;
    const int64_t day = l - 2447 * j / 80;
    l = j / 11;
    const int64_t month = j + 2 - 12 * l;
    const int64_t year = 100 * (n - 49) + i + l;

    Calendar calendar;
    calendar.Year = static_cast<int>(year);
    calendar.Month = static_cast<int>(month);
    calendar.Day = static_cast<int>(day);
    // 0001-01-01 was a Monday.
    calendar.DayOfWeek = static_cast<int>(dayNumber % 7);
    calendar.Hour = static_cast<int>(Ticks / TicksPerHour % 24);
    calendar.Minute = static_cast<int>(Ticks / TicksPerMinute % 60);
    calendar.Second = static_cast<int>(Ticks / TicksPerSecond % 60);
    calendar.Millisecond = 0;
    return calendar;
}
