#include "xWindowRules.h"

#include <gtest/gtest.h>

#include <tuple>
#include <utility>
#include <vector>

namespace
{
WindowDescription Borderless(int32_t corner, int32_t transparency)
{
    WindowDescription description;
    description.CornerRadius = corner;
    description.Transparency = transparency;
    description.IsRegularWindow = true;
    return description;
}
} // namespace

TEST(xWindowRules, StylesFollowTheDescription)
{
    struct Case
    {
        bool Border, Regular, Taskbar, Topmost, Max, Min, Sizing;
        uint32_t Style, ExStyle;
    };
    const Case cases[] = {
        {true, true, false, false, false, false, false, 0x00C80000, 0x00040000},
        {true, true, false, true, true, true, true, 0x00CF0000, 0x00040000},
        {true, false, true, true, true, true, true, 0x80C80000, 0x00040000},
        {false, true, true, false, true, true, true, 0x86020000, 0x00040100},
        {false, true, false, false, false, false, false, 0x86020000, 0x00000180},
        {false, true, true, true, false, false, false, 0x86020000, 0x00040108},
    };
    for (const Case& c : cases)
    {
        WindowDescription d;
        d.HasOSWindowBorder = c.Border;
        d.IsRegularWindow = c.Regular;
        d.IsInTaskbar = c.Taskbar;
        d.IsTopmostWindow = c.Topmost;
        d.HasMaximize = c.Max;
        d.HasMinimize = c.Min;
        d.HasSizingFrame = c.Sizing;
        const xWindowStyles styles = ChooseWindowStyles(d);
        EXPECT_EQ(std::make_pair(styles.Style, styles.ExStyle), std::make_pair(c.Style, c.ExStyle))
            << &c - cases;
    }
}

TEST(xWindowRules, RegionsRoundOnlyRestoredWindowsWithARadius)
{
    struct Case
    {
        int32_t Corner, Transparency, Width, Height;
        bool Maximised;
        xWindowRect Rect;
        int32_t Ellipse;
    };
    const Case cases[] = {
        {6, 0, 800, 600, false, {0, 0, 801, 601}, 6}, {6, 0, 800, 600, true, {4, 4, 796, 596}, 0},
        {6, 2, 800, 600, false, {0, 0, 800, 600}, 0}, {0, 1, 800, 600, false, {0, 0, 800, 600}, 0},
        {6, 0, -1, -1, false, {0, 0, 1000, 700}, 0},
    };
    for (const Case& c : cases)
    {
        const xWindowRegion region = ChooseWindowRegion(Borderless(c.Corner, c.Transparency), c.Width,
                                                        c.Height, 1000, 700, c.Maximised, 4);
        const xWindowRect& r = region.Rect;
        EXPECT_EQ(std::make_tuple(r.Left, r.Top, r.Right, r.Bottom, region.Ellipse),
                  std::make_tuple(c.Rect.Left, c.Rect.Top, c.Rect.Right, c.Rect.Bottom, c.Ellipse))
            << &c - cases;
    }
}

TEST(xWindowRules, LayeredUpdateCarriesTheOpacityOfTransparencyOne)
{
    struct Case
    {
        int32_t Transparency;
        float Opacity;
        int Alpha;
    };
    const Case cases[] = {
        {1, 1.0f, 255}, {1, 0.5f, 127}, {1, 0.0f, 0},   {1, 2.0f, 255},
        {1, -1.0f, 0},  {0, 0.5f, 255}, {2, 0.5f, 255},
    };
    for (const Case& c : cases)
    {
        WindowDescription description;
        description.Transparency = c.Transparency;
        description.Opacity = c.Opacity;
        EXPECT_EQ(LayeredConstantAlpha(description), c.Alpha) << &c - cases;
    }
}

TEST(xWindowRules, EdgesAndSizesSaturateInsteadOfWrapping)
{
    struct Case
    {
        int32_t A, B;
        int32_t Sum, Span; // a + b, b - a
    };
    const Case cases[] = {
        {100, -8, 92, -108},
        {INT32_MAX - 4, 10, INT32_MAX, INT32_MIN + 15},
        {INT32_MIN + 4, -10, INT32_MIN, -14 - INT32_MIN},
        {-5, INT32_MAX, INT32_MAX - 5, INT32_MAX},
    };
    for (const Case& c : cases)
        EXPECT_EQ(std::make_pair(SaturatingAdd(c.A, c.B), SaturatingSpan(c.A, c.B)),
                  std::make_pair(c.Sum, c.Span))
            << &c - cases;
}

TEST(xWindowRules, CentringStaysInsideTheWorkArea)
{
    const xWindowRect work{100, 50, 1380, 1010};
    const xWindowPoint centred = CentreInWorkArea(work, 591, 304);
    EXPECT_EQ(std::make_pair(centred.X, centred.Y), std::make_pair(740 - 295, 530 - 152));
    EXPECT_EQ(CentreInWorkArea(work, 2000, 304).X, 100)
        << "a window wider than the work area starts at its left edge";
    EXPECT_EQ(CentreInWorkArea(work, 591, 961).Y, 50);
}

TEST(xWindowRules, SizeLimitsReplaceOnlyWhatTheListenerGives)
{
    xWindowMinMax proposed;
    proposed.MaxSize = {1920, 1080};
    proposed.MaxPosition = {-8, -8};
    proposed.MinTrackSize = {136, 39};
    proposed.MaxTrackSize = {3000, 2000};

    // Every number of the record: maximised size and place, minimum and maximum tracking size.
    const auto all = [](const xWindowMinMax& m)
    {
        return std::vector<int32_t>{m.MaxSize.X,      m.MaxSize.Y,      m.MaxPosition.X,  m.MaxPosition.Y,
                                    m.MinTrackSize.X, m.MinTrackSize.Y, m.MaxTrackSize.X, m.MaxTrackSize.Y};
    };
    // No maximum pins the tracking size at the minimum.
    EXPECT_EQ(all(ApplySizeLimits(proposed, {400, 300, -1, -1})),
              std::vector<int32_t>({1920, 1080, 0, 0, 400, 300, 400, 300}));
    EXPECT_EQ(all(ApplySizeLimits(proposed, {-1, 600, 5120, 2880})),
              std::vector<int32_t>({5120, 2880, 0, 0, 136, 600, 5120, 2880}));
}

TEST(xWindowRules, ZonesBecomeHitTestCodes)
{
    const int32_t codes[] = {0, 13, 12, 14, 10, 1, 11, 16, 15, 17, 2, 8, 9, 20, 3};
    for (int32_t zone = 0; zone < 15; ++zone)
        EXPECT_EQ(WindowZoneHitCode(static_cast<WindowZone>(zone)), codes[zone]) << zone;
    EXPECT_EQ(WindowZoneHitCode(static_cast<WindowZone>(15)), 0);
    EXPECT_EQ(WindowZoneHitCode(static_cast<WindowZone>(-1)), 0);
}

TEST(xWindowRules, ShortcutHotKeysGoOffUnlessTheFeatureIsOn)
{
    struct Case
    {
        uint32_t Flags;
        uint32_t Expected;
    };
    const Case cases[] = {
        {0x0, 0x0}, {0x4, 0x0}, {0x8, 0x0},   {0xC, 0x0}, {0x7E, 0x72},
        {0x1, 0x1}, {0xD, 0xD}, {0x7F, 0x7F}, {0x2, 0x2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(QuietShortcutFlags(c.Flags), c.Expected) << std::hex << c.Flags;
}
