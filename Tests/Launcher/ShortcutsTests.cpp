#include "Shortcuts.h"

#include "EngineText.h"

#include <gtest/gtest.h>

TEST(Shortcuts, LinkPathOnTheDesktop)
{
    struct Case
    {
        const char16_t* Desktop;
        const char16_t* Name;
        const char16_t* Link; // empty: no link
    };
    const Case cases[] = {
        {u"C:\\Users\\p\\Desktop", u"霜石纪元", u"C:\\Users\\p\\Desktop\\霜石纪元.lnk"},
        {u"C:\\Users\\p\\Desktop", u"(官网)", u"C:\\Users\\p\\Desktop\\(官网).lnk"},
        // A product without a home-page name gets no link (not one called ".lnk").
        {u"C:\\Users\\p\\Desktop", u"", u""},
        // Nor does an unknown desktop (a link at the drive's root).
        {u"", u"霜石纪元", u""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ShortcutLinkPath(c.Desktop, c.Name), xWString(c.Link)) << Narrow(c.Name);
}

TEST(Shortcuts, TaskbarPinOnlyOnWindows7And8)
{
    struct Case
    {
        uint32_t Major, Minor;
        bool Pin;
    };
    const Case cases[] = {
        {5, 1, false}, {6, 0, false},  {6, 1, true},   {6, 2, true},
        {6, 3, true},  {10, 0, false}, {11, 0, false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(TaskbarPinApplies(c.Major, c.Minor), c.Pin) << c.Major << "." << c.Minor;
}
