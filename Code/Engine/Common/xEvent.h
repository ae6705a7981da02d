#pragma once

#include <cstdint>

// An auto-reset event: Set lets exactly one Wait through (the one already
// waiting, or the next to come) and the event is clear again. Created clear.
// There is one implementation per platform, chosen by the build, so the class
// carries no virtual interface.
class xEvent
{
public:
    // Time-out that never expires (the value of Win32 INFINITE).
    static constexpr uint32_t WaitForever = 0xFFFFFFFF;

    xEvent();
    ~xEvent();
    xEvent(const xEvent&) = delete;
    xEvent& operator=(const xEvent&) = delete;

    // A snapshot: exact while no other thread sets, resets or waits on the event
    // at the same moment (a Windows auto-reset event cannot be read without
    // consuming it, so the Windows side keeps its own flag).
    bool IsSet() const;
    void Set();
    void Reset();
    // True when the event was set within `milliseconds`; false on time-out or failure.
    bool Wait(uint32_t milliseconds = WaitForever);

private:
    // Defined by each platform's source: the event handle, or a mutex and condition.
    struct Native;
    Native* State;
};
