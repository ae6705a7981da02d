#pragma once

// Wall-clock local time, broken down, as the log prefix prints it.
struct xLocalTime
{
    int Year = 0;
    int Month = 0; // 1..12
    int Day = 0;   // 1..31
    int Hour = 0;
    int Minute = 0;
    int Second = 0;
    int Millisecond = 0;
};

// Reads the local time now (platform implementation).
xLocalTime ReadLocalTime();
