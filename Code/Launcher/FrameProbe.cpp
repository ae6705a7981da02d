#include "FrameProbe.h"

#include "xLogLine.h"
#include "xStringOps.h"
#include "xTextConversion.h"

#include <cmath>
#include <cstdlib>

namespace
{
constexpr double ProbePeriod = 1.0;
// The played login comes when the windows have been up for a while.
constexpr double LoginDelay = 1.0;
const char LoginPrefix[] = "login=";
} // namespace

FrameProbe FrameProbe::FromEnvironment()
{
    const char* setting = std::getenv("LAUNCHER_FRAME_PROBE");
    return FrameProbe(xString(setting != nullptr ? setting : ""));
}

FrameProbe::FrameProbe(const xString& setting) : On(!setting.IsEmpty())
{
    const xString prefix(LoginPrefix);
    if (StartsWith(setting, prefix))
    {
        LoginPending = true;
        LoginParameter = Utf8ToWide(SubText(setting, prefix.Length()));
    }
}

bool FrameProbe::Tick(float elapsed)
{
    if (!On)
        return false;
    // The first tick's time is the start-up before the loop, not a gap.
    if (Running > 0.0 && elapsed > Longest)
        Longest = elapsed;
    Running += elapsed;
    ++Count;
    if (Running < PeriodEnd)
        return false;
    LongestGapMs = static_cast<int32_t>(std::lround(Longest * 1000.0f));
    Ticks = Count;
    LogLine("Frame probe: longest gap %d ms in %d ticks", LongestGapMs, Ticks);
    PeriodEnd = Running + ProbePeriod;
    Longest = 0.0f;
    Count = 0;
    return true;
}

bool FrameProbe::TakeLogin(xWString& parameter)
{
    if (!LoginPending || Running < LoginDelay)
        return false;
    LoginPending = false;
    parameter = LoginParameter;
    return true;
}
