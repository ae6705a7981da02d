#include "xDateTime.h"

#include <gtest/gtest.h>

namespace
{
enum Weekday
{
    Monday,
    Tuesday,
    Wednesday,
    Thursday,
    Friday,
    Saturday,
    Sunday
};
} // namespace

TEST(xDateTime, KnownDatesGiveTheirTickCounts)
{
    // Reference values: the Unix epoch and the Windows file-time epoch as 100 ns
    // ticks since 0001-01-01, as other tick-based clocks count them.
    EXPECT_EQ(0u, xDateTime::FromCalendar(1, 1, 1).GetTicks());
    EXPECT_EQ(504911232000000000u, xDateTime::FromCalendar(1601, 1, 1).GetTicks());
    EXPECT_EQ(621355968000000000u, xDateTime::FromCalendar(1970, 1, 1).GetTicks());
    EXPECT_EQ(630822816000000000u, xDateTime::FromCalendar(2000, 1, 1).GetTicks());
    EXPECT_EQ(621355968000000000u + 86399u * xDateTime::TicksPerSecond +
                  999u * xDateTime::TicksPerMillisecond,
              xDateTime::FromCalendar(1970, 1, 1, 23, 59, 59, 999).GetTicks());
}

TEST(xDateTime, CalendarFieldsAndWeekdayOfKnownDates)
{
    struct Known
    {
        int Year, Month, Day, DayOfWeek;
    };
    const Known dates[] = {
        {1, 1, 1, Monday},      {1601, 1, 1, Monday},   {1900, 2, 28, Wednesday}, {1900, 3, 1, Thursday},
        {1970, 1, 1, Thursday}, {2000, 1, 1, Saturday}, {2000, 2, 29, Tuesday},   {2024, 12, 25, Wednesday},
        {2038, 1, 19, Tuesday}, {9999, 12, 31, Friday},
    };
    for (const Known& d : dates)
    {
        const xDateTime::Calendar c =
            xDateTime::FromCalendar(d.Year, d.Month, d.Day, 13, 45, 30, 250).ToCalendar();
        EXPECT_EQ(d.Year, c.Year) << d.Year << "-" << d.Month << "-" << d.Day;
        EXPECT_EQ(d.Month, c.Month) << d.Year << "-" << d.Month << "-" << d.Day;
        EXPECT_EQ(d.Day, c.Day) << d.Year << "-" << d.Month << "-" << d.Day;
        EXPECT_EQ(d.DayOfWeek, c.DayOfWeek) << d.Year << "-" << d.Month << "-" << d.Day;
        EXPECT_EQ(13, c.Hour);
        EXPECT_EQ(45, c.Minute);
        EXPECT_EQ(30, c.Second);
        EXPECT_EQ(0, c.Millisecond) << "milliseconds are not carried back";
    }
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
                ASSERT_TRUE(c.Year == year && c.Month == month && c.Day == day)
                    << year << "-" << month << "-" << day << " came back as " << c.Year << "-" << c.Month
                    << "-" << c.Day;
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
    EXPECT_TRUE(xDateTime::FromCalendar(2020, 0, 1).IsZero());
    EXPECT_TRUE(xDateTime::FromCalendar(2020, 13, 1).IsZero());
    EXPECT_TRUE(xDateTime::FromCalendar(2020, 1, 0).IsZero());
    EXPECT_TRUE(xDateTime::FromCalendar(0, 1, 1).IsZero());
    EXPECT_TRUE(xDateTime::FromCalendar(-5, 1, 1).IsZero());
    EXPECT_TRUE(xDateTime::FromCalendar(2020, 1, 1, 24).IsZero());
    EXPECT_TRUE(xDateTime::FromCalendar(2020, 1, 1, 0, 60).IsZero());
    EXPECT_TRUE(xDateTime::FromCalendar(2020, 1, 1, 0, 0, 0, 1000).IsZero());
    EXPECT_FALSE(xDateTime::FromCalendar(30827, 12, 31, 23, 59, 59, 999).IsZero());
}
