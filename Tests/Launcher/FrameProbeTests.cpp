#include "CapturedLog.h"
#include "EngineText.h"
#include "FrameProbe.h"

#include <gtest/gtest.h>

#include <vector>

// The probe reports the longest gap of each second, and plays its login once,
// a second into the loop; off, it does nothing.
TEST(FrameProbe, ReportsEachSecondsLongestGapAndPlaysTheLoginOnce)
{
    CapturedLog log;
    FrameProbe probe("login=sid=7&uid=5");
    xWString login;
    EXPECT_FALSE(probe.Tick(0.0f));
    EXPECT_FALSE(probe.TakeLogin(login)) << "the login waits for the windows to be up a second";
    const float gaps[] = {0.3f, 0.5f, 0.3f, 0.2f, 0.9f};
    std::vector<int32_t> longest;
    for (float gap : gaps)
        if (probe.Tick(gap))
            longest.push_back(probe.LongestGapMs);
    EXPECT_EQ((std::vector<int32_t>{500, 900}), longest);
    EXPECT_EQ(2, probe.Ticks) << "the ticks of the last second";
    EXPECT_EQ(2u, log.MessagesStartingWith("Frame probe: longest gap ").size());
    EXPECT_TRUE(probe.TakeLogin(login));
    EXPECT_EQ(login, u"sid=7&uid=5");
    EXPECT_FALSE(probe.TakeLogin(login)) << "the login is played once";

    FrameProbe off{xString()};
    EXPECT_FALSE(off.Tick(5.0f));
    EXPECT_FALSE(off.TakeLogin(login));
}
