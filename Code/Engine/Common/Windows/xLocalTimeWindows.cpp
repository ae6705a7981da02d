#include "xLocalTime.h"

#include <windows.h>

xLocalTime ReadLocalTime()
{
    SYSTEMTIME now;
    ::GetLocalTime(&now);
    xLocalTime result;
    result.Year = now.wYear;
    result.Month = now.wMonth;
    result.Day = now.wDay;
    result.Hour = now.wHour;
    result.Minute = now.wMinute;
    result.Second = now.wSecond;
    result.Millisecond = now.wMilliseconds;
    return result;
}
