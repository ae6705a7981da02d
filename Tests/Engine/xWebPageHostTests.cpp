#include "xWebPageHost.h"

#include <gtest/gtest.h>

TEST(xWebPageHost, OnlyTheTopLevelDocumentDecidesWhetherThePageShows)
{
    struct Case
    {
        bool Loaded;
        PageLoadEvent Event;
        bool TopLevel;
        bool LoadedAfter;
    };
    const Case cases[] = {
        {false, PageLoadEvent::DocumentComplete, true, true},
        {true, PageLoadEvent::NavigateError, true, false},
        {true, PageLoadEvent::NavigateError, false, true}, // a frame that failed
        {false, PageLoadEvent::DocumentComplete, false, false},
        {true, PageLoadEvent::DocumentComplete, false, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PageLoadedAfter(c.Loaded, c.Event, c.TopLevel), c.LoadedAfter) << &c - cases;
}
