#include "EngineText.h"
#include "GameWindowRules.h"

#include <gtest/gtest.h>

namespace
{
// The shipped frame pictures: a 32-pixel title band, 8-pixel borders.
const GameFrameSizes Sizes = {32, 8, 8};
} // namespace

TEST(GameWindowRules, HitTestAndContentArea)
{
    struct Case
    {
        int32_t X, Y;
        bool Maximized, OverButton;
        WindowZone Zone;
    };
    // A 1380 x 820 frame.
    const Case cases[] = {
        {2, 2, false, false, WindowZone::TopLeft},
        {1375, 3, false, false, WindowZone::TopRight},
        {3, 815, false, false, WindowZone::BottomLeft},
        {1373, 813, false, false, WindowZone::BottomRight},
        {1372, 812, false, false, WindowZone::Client}, // just inside both edges: the bottom border
        {4, 400, false, false, WindowZone::Left},
        {1373, 400, false, false, WindowZone::Right},
        {600, 5, false, false, WindowZone::Top},
        {600, 816, false, false, WindowZone::Bottom},
        {600, 20, false, false, WindowZone::Caption},
        {600, 20, false, true, WindowZone::Client},    // a button in the title band
        {600, 400, false, false, WindowZone::Nowhere}, // the game's view
        {8, 400, false, false, WindowZone::Client},    // the side border's edge is no view
        {600, 20, true, false, WindowZone::Client},    // maximised: no caption to drag
        {2, 2, true, false, WindowZone::Client},       // and no resize border
        {600, 400, true, false, WindowZone::Nowhere},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GameWindowHitTest(c.X, c.Y, 1380, 820, c.Maximized, c.OverButton, Sizes), c.Zone)
            << &c - cases;

    const xWindowRect framed = GameContentRect(1380, 820, false, Sizes);
    EXPECT_EQ(std::make_tuple(framed.Left, framed.Top, framed.Right, framed.Bottom),
              std::make_tuple(8, 32, 1372, 812));
    const xWindowRect full = GameContentRect(1280, 994, true, Sizes);
    EXPECT_EQ(std::make_tuple(full.Left, full.Top, full.Right, full.Bottom),
              std::make_tuple(0, 32, 1280, 994));
}

TEST(GameWindowRules, SecondClosePressBetweenFiveAndTenSecondsForces)
{
    using Action = CloseRequestTimer::Action;
    CloseRequestTimer timer;
    EXPECT_EQ(timer.Press(100.0), Action::Wait);
    EXPECT_EQ(timer.Press(104.0), Action::Wait);
    EXPECT_EQ(timer.Press(106.0), Action::Force);

    CloseRequestTimer late;
    EXPECT_EQ(late.Press(100.0), Action::Wait);
    EXPECT_EQ(late.Press(111.0), Action::Wait) << "too late: a new wait";
    EXPECT_EQ(late.Press(117.0), Action::Force) << "counted from the new wait";
}

TEST(GameWindowRules, CommandLineCarriesTheViewAndTheLogin)
{
    EXPECT_EQ(GameProcessArguments(0xA0B2C, u"sid=1,uid=2"), xWString(u"658220 sid=1,uid=2"));
    EXPECT_EQ(GameProcessArguments(0xFFFFFFFFFFFF1234u, u""), xWString(u"18446744073709490740 "));
    EXPECT_EQ(GameExecutablePath(u"C:/Games/Publish/"),
              xWString(u"C:/Games/Publish/Bin/Win32/ReleaseStatic/RWGame.exe"));
    const GameCommand alone = GameProcessCommand(u"", u"/p/RWGame.exe", u"12 sid=1");
    const GameCommand runner = GameProcessCommand(u"/usr/bin/wine", u"/p q/RWGame.exe", u"12 sid=1");
    EXPECT_EQ(alone.Program + u"|" + alone.Arguments, xWString(u"/p/RWGame.exe|12 sid=1"));
    EXPECT_EQ(runner.Program + u"|" + runner.Arguments,
              xWString(u"/usr/bin/wine|\"/p q/RWGame.exe\" 12 sid=1"));
}

TEST(GameWindowRules, MaximiseRemembersOnlyARectangleOnScreen)
{
    struct Case
    {
        bool Minimized, Maximized;
        int32_t Left; // of the rectangle remembered
    };
    // Remembered 100..900, the frame now at 200..1000 (or, minimised, far off screen).
    const Case cases[] = {
        {false, false, 200},
        {true, false, 100},
        {false, true, 100},
        {true, true, 100},
    };
    const xWindowRect remembered = {100, 100, 900, 700};
    const xWindowRect current = {200, 200, 1000, 800};
    for (const Case& c : cases)
        EXPECT_EQ(RestoreRectForMaximize(remembered, current, c.Minimized, c.Maximized).Left, c.Left)
            << &c - cases;
}
