#pragma once

#include "xString.h"

#include <cstdint>

// A measuring aid for the frame loop, off unless the environment variable
// LAUNCHER_FRAME_PROBE is set (tests and measurements set it): once a second
// it logs "Frame probe: longest gap N ms in N ticks", the longest time between
// two ticks of that second, which is how long the windows went without
// painting or answering. Its value "login=<launch parameter>" also plays the
// login page's login with that parameter, a second after the first tick, as
// the page's script bridge would deliver it: a login while the windows are
// up, where no browser engine is (Wine).
class FrameProbe
{
public:
    static FrameProbe FromEnvironment();
    // From the variable's value; empty: off.
    explicit FrameProbe(const xString& setting);

    bool IsOn() const { return On; }
    // Once per tick with the seconds since the last one. True when a second
    // has passed: LongestGapMs and Ticks then describe it (and are logged).
    bool Tick(float elapsed);
    // The login to play now, once; false before it is due or without one.
    bool TakeLogin(xWString& parameter);
    // A login still to play: the loop keeps its quick pace until then.
    bool IsLoginPending() const { return LoginPending; }

    int32_t LongestGapMs = 0;
    int32_t Ticks = 0;

private:
    bool On = false;
    bool LoginPending = false;
    xWString LoginParameter;
    double Running = 0.0;   // seconds since the first tick
    double PeriodEnd = 1.0; // the current second ends here
    float Longest = 0.0f;
    int32_t Count = 0;
};
