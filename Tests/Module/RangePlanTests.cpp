#include "RangePlan.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
// "START+LENGTH:MEMBER,MEMBER START+LENGTH:MEMBER": the plan in a line.
std::string Describe(const std::vector<PlannedSpan>& spans)
{
    std::string text;
    for (const PlannedSpan& span : spans)
    {
        text +=
            (text.empty() ? "" : " ") + std::to_string(span.Start) + "+" + std::to_string(span.Length) + ":";
        for (size_t i = 0; i < span.Members.size(); ++i)
            text += (i == 0 ? "" : ",") + std::to_string(span.Members[i]);
    }
    return text;
}
} // namespace

TEST(RangePlan, NeighboursShareARequestWhileGapAndBudgetAllow)
{
    const struct
    {
        const char* What;
        std::vector<ByteRange> Wanted;
        RangePlanLimits Limits;
        const char* Plan;
    } cases[] = {
        {"nothing wanted", {}, {}, ""},
        {"one range", {{500, 20}}, {}, "500+20:0"},
        {"adjacent: no waste", {{0, 10}, {10, 10}, {20, 5}}, {0, 0}, "0+25:0,1,2"},
        {"input order", {{300, 100}, {0, 100}, {100, 50}}, {0, 0}, "0+150:1,2 300+100:0"},
        {"gap of exactly the cap joins", {{0, 1000}, {1064, 1000}}, {64, 50}, "0+2064:0,1"},
        {"gap past the cap", {{0, 1000}, {1065, 1000}}, {64, 1000}, "0+1000:0 1065+1000:1"},
        {"budget: 5% of the wanted bytes", {{0, 1000}, {1100, 1000}}, {1000, 50}, "0+2100:0,1"},
        {"one byte over budget", {{0, 1000}, {1101, 1000}}, {1000, 50}, "0+1000:0 1101+1000:1"},
        // 4000 wanted bytes: 200 of budget buys the gaps of 50, 60 and 80, not 100.
        {"smallest gaps first",
         {{0, 1000}, {1100, 1000}, {2150, 1000}, {3210, 500}, {3790, 500}},
         {1000, 50},
         "0+1000:0 1100+3190:1,2,3,4"},
        {"far apart", {{0, 4096}, {1 << 20, 4096}}, {}, "0+4096:0 1048576+4096:1"},
        {"overlaps share", {{0, 100}, {50, 100}, {60, 10}, {400, 1}}, {0, 0}, "0+150:0,1,2 400+1:3"},
        {"span cap cuts", {{0, 40}, {40, 40}, {80, 40}, {120, 40}}, {0, 0, 100}, "0+80:0,1 80+80:2,3"},
        {"longer than the span cap", {{0, 500}, {500, 10}}, {0, 0, 100}, "0+500:0 500+10:1"},
        {"equal starts: shorter first", {{10, 30}, {10, 5}}, {0, 0}, "10+30:1,0"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Describe(PlanRanges(c.Wanted, c.Limits)), c.Plan) << c.What;
}

TEST(RangePlan, DefaultLimitsKeepEveryPlanWithinTheWasteShare)
{
    // Scattered small files among fresh ones: the transfer may grow by 5% at most.
    std::vector<ByteRange> wanted;
    uint64_t at = 0;
    uint64_t wantedBytes = 0;
    for (uint64_t i = 0; i < 400; ++i)
    {
        const uint64_t length = 1000 + (i * 7919) % 30000;
        const uint64_t gap = (i * 104729) % 5 == 0 ? 200000 : (i * 31) % 9000;
        wanted.push_back({at, length});
        wantedBytes += length;
        at += length + gap;
    }
    const std::vector<PlannedSpan> spans = PlanRanges(wanted);
    uint64_t planned = 0;
    std::vector<int> seen(wanted.size(), 0);
    for (const PlannedSpan& span : spans)
    {
        planned += span.Length;
        for (size_t member : span.Members)
        {
            ++seen[member];
            EXPECT_GE(wanted[member].Start, span.Start);
            EXPECT_LE(wanted[member].End(), span.Start + span.Length);
        }
    }
    EXPECT_LE(planned * 100, wantedBytes * 105) << "the gaps together stay within 5%";
    // Small gaps abound, so the budget is spent up to less than one gap.
    EXPECT_GT(planned - wantedBytes + RangePlanLimits().MaxGap, wantedBytes / 20)
        << "the budget was left unused";
    EXPECT_LT(spans.size(), wanted.size() * 3 / 4) << "few small gaps were joined";
    EXPECT_EQ(std::vector<int>(wanted.size(), 1), seen) << "every range in exactly one span";
}

TEST(RangePlan, CoveredBytesCountTheUnionOnce)
{
    const std::vector<ByteRange> joined = JoinRanges({{100, 50}, {0, 10}, {120, 50}, {10, 5}, {300, 0}});
    ASSERT_EQ(2u, joined.size()) << "touching and overlapping ranges become one; empty ones vanish";
    EXPECT_EQ(0u, joined[0].Start);
    EXPECT_EQ(15u, joined[0].Length);
    EXPECT_EQ(100u, joined[1].Start);
    EXPECT_EQ(70u, joined[1].Length);

    const struct
    {
        uint64_t From, To, Covered;
    } windows[] = {{0, 1000, 85}, {5, 110, 20}, {15, 100, 0}, {160, 170, 10}, {169, 500, 1}, {0, 0, 0}};
    for (const auto& w : windows)
        EXPECT_EQ(w.Covered, BytesCovered(joined, w.From, w.To)) << w.From << ".." << w.To;
}
