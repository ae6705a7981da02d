#include "xLocalTime.h"

#include <ctime>

xLocalTime ReadLocalTime()
{
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm broken{};
    localtime_r(&now.tv_sec, &broken);
    xLocalTime result;
    result.Year = broken.tm_year + 1900;
    result.Month = broken.tm_mon + 1;
    result.Day = broken.tm_mday;
    result.Hour = broken.tm_hour;
    result.Minute = broken.tm_min;
    // A leap second (tm_sec 60) is kept as it comes; the prefix prints what it gets.
    result.Second = broken.tm_sec;
    result.Millisecond = static_cast<int>(now.tv_nsec / 1000000);
    return result;
}
