#pragma once

#include <cstdint>

// A point in time as 100-nanosecond ticks since 0001-01-01 00:00:00 of the
// proleptic Gregorian calendar, always in UTC (file times are never shifted to
// local time). Zero means "no time".
class xDateTime
{
public:
    static constexpr uint64_t TicksPerMillisecond = 10000;
    static constexpr uint64_t TicksPerSecond = 10000000;
    static constexpr uint64_t TicksPerMinute = 600000000;
    static constexpr uint64_t TicksPerHour = 36000000000;
    static constexpr uint64_t TicksPerDay = 864000000000;

    struct Calendar
    {
        int Year = 0;
        int Month = 0;     // 1..12
        int Day = 0;       // 1..31
        int DayOfWeek = 0; // 0 is Monday, 6 is Sunday
        int Hour = 0;
        int Minute = 0;
        int Second = 0;
        int Millisecond = 0;
    };

    constexpr xDateTime() = default;
    constexpr explicit xDateTime(uint64_t ticks) : Ticks(ticks) {}

    // Fields outside their ranges (year 1..30827, the largest year a Windows file
    // time reaches) give the zero time instead of a wrapped-around one.
    static xDateTime FromCalendar(int year, int month, int day, int hour = 0, int minute = 0, int second = 0,
                                  int millisecond = 0);
    // The calendar fields of this time; milliseconds are always 0.
    Calendar ToCalendar() const;

    constexpr uint64_t GetTicks() const { return Ticks; }
    constexpr bool IsZero() const { return Ticks == 0; }
    constexpr bool operator==(const xDateTime& other) const { return Ticks == other.Ticks; }
    constexpr bool operator!=(const xDateTime& other) const { return Ticks != other.Ticks; }
    constexpr bool operator<(const xDateTime& other) const { return Ticks < other.Ticks; }

    static bool IsLeapYear(int year);

private:
    uint64_t Ticks = 0;
};
