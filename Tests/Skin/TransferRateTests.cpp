#include "TransferRate.h"

#include <gtest/gtest.h>

#include <vector>

TEST(TransferRate, SmoothedRateIsKnownOnlyWhileBytesMove)
{
    constexpr double Mega = 1 << 20;
    // Bytes arrive at `Rate` for `Seconds`, read every `Tick` seconds; `Jump`
    // bytes land at once first (a resumed transfer's credit, or -1: the counter starts again).
    struct Stretch
    {
        double Seconds, Rate;
        double Jump = 0;
        double Tick = 0.05;
    };
    struct Case
    {
        const char* Name;
        std::vector<Stretch> Stretches;
        double Rate; // negative: unknown
        double Low = 0.98, High = 1.02;
    };
    const Case cases[] = {
        {"steady", {{5, Mega}}, Mega},
        {"warming up", {{0.6, Mega}}, -1},
        {"stopped", {{5, Mega}, {2.5, 0}}, -1},
        {"a short gap", {{5, Mega}, {1, 0}, {0.5, Mega}}, Mega, 0.6, 1.0},
        {"resumed credit", {{0.05, 0, 100 * Mega}, {4, Mega}}, Mega},
        {"a burst moves it little", {{10, Mega}, {0.3, 3 * Mega}}, Mega, 1.0, 1.3},
        {"coarse pieces", {{6, 2 * Mega, 0, 0.5}}, 2 * Mega, 0.95, 1.05},
        {"a new update", {{5, Mega}, {0.1, 0, -1}}, -1},
        {"nothing", {{3, 0}}, -1},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.Name);
        TransferRate rate;
        double now = 100.0;
        double bytes = 5000;
        rate.AddSample(now, uint64_t(bytes));
        for (const Stretch& stretch : c.Stretches)
        {
            bytes = stretch.Jump < 0 ? 0 : bytes + stretch.Jump;
            for (double t = 0; t < stretch.Seconds - 1e-9; t += stretch.Tick)
            {
                now += stretch.Tick;
                bytes += stretch.Rate * stretch.Tick;
                rate.AddSample(now, uint64_t(bytes));
            }
        }
        if (c.Rate < 0)
        {
            EXPECT_LT(rate.BytesPerSecond(), 0);
            EXPECT_LT(rate.SecondsLeft(1000), 0);
            continue;
        }
        EXPECT_GE(rate.BytesPerSecond(), c.Rate * c.Low);
        EXPECT_LE(rate.BytesPerSecond(), c.Rate * c.High);
        EXPECT_NEAR(rate.SecondsLeft(uint64_t(10 * c.Rate)), 10 * c.Rate / rate.BytesPerSecond(), 1e-9);
    }
}
