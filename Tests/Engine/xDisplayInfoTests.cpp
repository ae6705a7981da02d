#include "xDisplayInfo.h"

#include "EngineText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

TEST(xDisplayInfo, ShortIdStartsAtTheNinthCharacter)
{
    EXPECT_EQ(MonitorShortId(u"MONITOR\\DEL4082\\{4d36e96e-e325-11ce-bfc1-08002be10318}\\0001"),
              xWString(u"DEL4082\\{4d36e96e-e325-11ce-bfc1-08002be10318}\\0001"));
    EXPECT_TRUE(MonitorShortId(u"MONITOR\\").IsEmpty()) << "nothing after the prefix";
    EXPECT_TRUE(MonitorShortId(u"MON").IsEmpty()) << "an id shorter than the prefix";
}

TEST(xDisplayInfo, EdidGivesTheFirstDetailedTiming)
{
    uint8_t edid[128] = {};
    edid[56] = 0x80;
    edid[58] = 0x70;
    edid[59] = 0x38;
    edid[61] = 0x40;
    int32_t width = 0, height = 0;
    ASSERT_TRUE(DecodeEdidResolution(edid, sizeof edid, width, height));
    EXPECT_EQ(std::make_pair(width, height), std::make_pair(1920, 1080));
    EXPECT_FALSE(DecodeEdidResolution(edid, 71, width, height)) << "a block too short for the descriptor";
}

TEST(xDisplayInfo, OnlyActiveUnmirroredMonitorsOfDesktopAdaptersAreListedWithTheFoundResolution)
{
    // Off the desktop, inactive and mirroring monitors are left out, and their
    // resolution is never asked for; the setup walk answers the same (last)
    // monitor's resolution for every listed one.
    int asked = 0;
    const std::vector<MonitorRecord> monitors =
        ListMonitors({{u"MONITOR\\AAA0001\\0000", true, true, true, false},
                      {u"MONITOR\\OFF0000\\0000", false, true, true, false},
                      {u"MONITOR\\INA0000\\0000", true, true, false, false},
                      {u"MONITOR\\MIR0000\\0000", true, true, true, true},
                      {u"MONITOR\\BBB0002\\0001", true, false, true, false}},
                     [&](int32_t& width, int32_t& height)
                     {
                         ++asked;
                         width = 2560;
                         height = 1440;
                         return true;
                     });
    std::vector<std::string> listed;
    for (const MonitorRecord& monitor : monitors)
        listed.push_back(Narrow(monitor.ShortId) + " " + Narrow(monitor.DeviceId) + " " +
                         std::to_string(monitor.Primary) + " " + std::to_string(monitor.NativeWidth) + "x" +
                         std::to_string(monitor.NativeHeight));
    EXPECT_EQ(listed, (std::vector<std::string>{"AAA0001\\0000 MONITOR\\AAA0001\\0000 1 2560x1440",
                                                "BBB0002\\0001 MONITOR\\BBB0002\\0001 0 2560x1440"}));
    EXPECT_EQ(asked, 2) << "the resolution is asked for listed monitors only";
    EXPECT_TRUE(ListMonitors({{u"MONITOR\\AAA0001\\0000", true, true, true, false}},
                             [](int32_t&, int32_t&) { return false; })
                    .empty())
        << "a monitor without a known native resolution is not listed";
}

TEST(xDisplayInfo, RegistryWalkStopsOnEveryFailureButMoreData)
{
    struct Case
    {
        uint32_t Status;
        RegistryWalkStep Step;
    };
    const Case cases[] = {
        {0, RegistryWalkStep::Read},
        {234, RegistryWalkStep::Skip},  // ERROR_MORE_DATA: a value larger than the buffer
        {259, RegistryWalkStep::Stop},  // ERROR_NO_MORE_ITEMS
        {1018, RegistryWalkStep::Stop}, // ERROR_KEY_DELETED
        {5, RegistryWalkStep::Stop},    // ERROR_ACCESS_DENIED
        {6, RegistryWalkStep::Stop},    // ERROR_INVALID_HANDLE
    };
    for (const Case& c : cases)
        EXPECT_EQ(NextRegistryWalkStep(c.Status), c.Step) << c.Status;
}
