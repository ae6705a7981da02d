#include "xDateTime.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
constexpr int Monday = 0, Thursday = 3, Friday = 4, Saturday = 5;

// "year-month-day weekday hour:minute:second.millisecond"
std::string Text(const xDateTime::Calendar& c)
{
    return std::to_string(c.Year) + "-" + std::to_string(c.Month) + "-" + std::to_string(c.Day) + " " +
           std::to_string(c.DayOfWeek) + " " + std::to_string(c.Hour) + ":" + std::to_string(c.Minute) + ":" +
           std::to_string(c.Second) + "." + std::to_string(c.Millisecond);
}
} // namespace

TEST(xDateTime, KnownDatesGiveTheirTicksCalendarFieldsAndWeekday)
{
    // The first day, the Windows file-time and Unix epochs, 2000 and the last day as 100 ns ticks since
    // 0001-01-01; the weekdays anchor the day-by-day walk below.
    struct Known
    {
        int Year, Month, Day, DayOfWeek;
        uint64_t Ticks;
    };
    const Known dates[] = {{1, 1, 1, Monday, 0},
                           {1601, 1, 1, Monday, 504911232000000000u},
                           {1970, 1, 1, Thursday, 621355968000000000u},
                           {2000, 1, 1, Saturday, 630822816000000000u},
                           {9999, 12, 31, Friday, 3155378112000000000u}};
    for (const Known& d : dates)
    {
        EXPECT_EQ(d.Ticks, xDateTime::FromCalendar(d.Year, d.Month, d.Day).GetTicks()) << d.Year;
        // Milliseconds are not carried back.
        EXPECT_EQ(Text(xDateTime::FromCalendar(d.Year, d.Month, d.Day, 13, 45, 30, 250).ToCalendar()),
                  Text({d.Year, d.Month, d.Day, d.DayOfWeek, 13, 45, 30, 0}));
    }
    EXPECT_EQ(621355968000000000u + 86399u * xDateTime::TicksPerSecond +
                  999u * xDateTime::TicksPerMillisecond,
              xDateTime::FromCalendar(1970, 1, 1, 23, 59, 59, 999).GetTicks());
}

TEST(xDateTime, EveryDayRoundTripsAndFollowsTheDayBefore)
{
    // Three centuries each side of 2000 cover 1700, 1800 and 1900 (no leap day),
    // 2000 and 2400 (leap day) and every month length.
    xDateTime previous = xDateTime::FromCalendar(1599, 12, 31);
    int previousWeekday = previous.ToCalendar().DayOfWeek;
    for (int year = 1600; year <= 2400; ++year)
    {
        for (int month = 1; month <= 12; ++month)
        {
            static const int lengths[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
            const int days = lengths[month - 1] + (month == 2 && xDateTime::IsLeapYear(year) ? 1 : 0);
            for (int day = 1; day <= days; ++day)
            {
                const xDateTime time = xDateTime::FromCalendar(year, month, day, 23, 59, 58);
                const xDateTime::Calendar c = time.ToCalendar();
                ASSERT_EQ(Text(c), Text({year, month, day, c.DayOfWeek, 23, 59, 58, 0}));
                ASSERT_EQ(xDateTime::FromCalendar(year, month, day).GetTicks(),
                          previous.GetTicks() - (previous.GetTicks() % xDateTime::TicksPerDay) +
                              xDateTime::TicksPerDay)
                    << "no gap or overlap before " << year << "-" << month << "-" << day;
                ASSERT_EQ((previousWeekday + 1) % 7, c.DayOfWeek) << year << "-" << month << "-" << day;
                previous = time;
                previousWeekday = c.DayOfWeek;
            }
        }
    }
}

TEST(xDateTime, FieldsOutOfRangeGiveTheZeroTime)
{
    const int outOfRange[][7] = {{2020, 0, 1, 0, 0, 0, 0},  {2020, 13, 1, 0, 0, 0, 0},
                                 {2020, 1, 0, 0, 0, 0, 0},  {0, 1, 1, 0, 0, 0, 0},
                                 {-5, 1, 1, 0, 0, 0, 0},    {2020, 1, 1, 24, 0, 0, 0},
                                 {2020, 1, 1, 0, 60, 0, 0}, {2020, 1, 1, 0, 0, 0, 1000}};
    for (const int* f : outOfRange)
        EXPECT_TRUE(xDateTime::FromCalendar(f[0], f[1], f[2], f[3], f[4], f[5], f[6]).IsZero())
            << "case " << (f - outOfRange[0]) / 7;
    EXPECT_FALSE(xDateTime::FromCalendar(30827, 12, 31, 23, 59, 59, 999).IsZero());
}
