#include "xDisplayInfo.h"

#include <gtest/gtest.h>

namespace
{
DisplayMonitorCandidate Candidate(const char16_t* deviceId, bool onDesktop, bool primary, bool active,
                                  bool mirroring)
{
    DisplayMonitorCandidate candidate;
    candidate.DeviceId = deviceId;
    candidate.AdapterOnDesktop = onDesktop;
    candidate.AdapterPrimary = primary;
    candidate.MonitorActive = active;
    candidate.MonitorMirroring = mirroring;
    return candidate;
}
} // namespace

TEST(xDisplayInfo, ShortIdStartsAtTheNinthCharacter)
{
    EXPECT_EQ(MonitorShortId(u"MONITOR\\DEL4082\\{4d36e96e-e325-11ce-bfc1-08002be10318}\\0001"),
              xWString(u"DEL4082\\{4d36e96e-e325-11ce-bfc1-08002be10318}\\0001"));
    EXPECT_EQ(MonitorShortId(u"MONITOR\\X"), xWString(u"X"));
    EXPECT_TRUE(MonitorShortId(u"MONITOR\\").IsEmpty()) << "nothing after the prefix";
    EXPECT_TRUE(MonitorShortId(u"MON").IsEmpty()) << "an id shorter than the prefix";
}

TEST(xDisplayInfo, OnlyActiveUnmirroredMonitorsOfDesktopAdaptersAreListed)
{
    struct Case
    {
        const char* What;
        bool OnDesktop, Active, Mirroring, Listed;
    };
    const Case cases[] = {
        {"active monitor of a desktop adapter", true, true, false, true},
        {"adapter off the desktop", false, true, false, false},
        {"inactive monitor", true, false, false, false},
        {"mirroring monitor", true, true, true, false},
    };
    for (const Case& c : cases)
    {
        int asked = 0;
        const std::vector<MonitorRecord> monitors =
            ListMonitors({Candidate(u"MONITOR\\ABC1234\\0000", c.OnDesktop, true, c.Active, c.Mirroring)},
                         [&](int32_t& width, int32_t& height)
                         {
                             ++asked;
                             width = 1920;
                             height = 1080;
                             return true;
                         });
        EXPECT_EQ(monitors.size(), c.Listed ? 1u : 0u) << c.What;
        EXPECT_EQ(asked, c.Listed ? 1 : 0) << c.What << ": the resolution is asked for listed monitors only";
    }
}

TEST(xDisplayInfo, ListedMonitorsCarryTheirIdsTheirAdaptersPrimacyAndTheFoundResolution)
{
    // The setup walk answers the same (last) monitor's resolution for every listed one.
    const std::vector<MonitorRecord> monitors =
        ListMonitors({Candidate(u"MONITOR\\AAA0001\\0000", true, true, true, false),
                      Candidate(u"MONITOR\\BBB0002\\0001", true, false, true, false)},
                     [](int32_t& width, int32_t& height)
                     {
                         width = 2560;
                         height = 1440;
                         return true;
                     });
    ASSERT_EQ(monitors.size(), 2u);
    EXPECT_EQ(monitors[0].ShortId, xWString(u"AAA0001\\0000"));
    EXPECT_EQ(monitors[0].DeviceId, xWString(u"MONITOR\\AAA0001\\0000"));
    EXPECT_TRUE(monitors[0].Primary);
    EXPECT_EQ(monitors[1].ShortId, xWString(u"BBB0002\\0001"));
    EXPECT_FALSE(monitors[1].Primary);
    for (const MonitorRecord& monitor : monitors)
    {
        EXPECT_EQ(monitor.NativeWidth, 2560);
        EXPECT_EQ(monitor.NativeHeight, 1440);
    }

    const std::vector<MonitorRecord> unknown =
        ListMonitors({Candidate(u"MONITOR\\AAA0001\\0000", true, true, true, false)},
                     [](int32_t&, int32_t&) { return false; });
    EXPECT_TRUE(unknown.empty()) << "a monitor without a known native resolution is not listed";
}
