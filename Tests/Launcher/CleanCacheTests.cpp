#include "CleanCache.h"

#include "CacheCleaner.h"

#include <gtest/gtest.h>

TEST(CleanCache, ThePlayerHearsOfFilesThatStayedInUse)
{
    struct Case
    {
        int Deleted, Kept, Failed;
        CacheCleanOutcome Outcome;
    };
    const Case cases[] = {
        {5, 3, 0, CacheCleanOutcome::Cleaned},
        {0, 3, 0, CacheCleanOutcome::Cleaned}, // nothing to delete: still clean
        {5, 3, 1, CacheCleanOutcome::InUse},
        {0, 0, 2, CacheCleanOutcome::InUse},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CleanedOutcome({c.Deleted, c.Kept, c.Failed}), c.Outcome) << &c - cases;
}
