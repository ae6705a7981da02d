#include "Xxh32.h"

#include <gtest/gtest.h>

#include <cstring>

// Published XXH32 values with seed 0; the longer text runs through the 16-byte stripes.
TEST(Xxh32, MatchesPublishedValues)
{
    EXPECT_EQ(0x02CC5D05u, Xxh32("", 0));
    EXPECT_EQ(0x32D153FFu, Xxh32("abc", 3));
    const char* text = "Nobody inspects the spammish repetition";
    EXPECT_EQ(0xE2293B2Fu, Xxh32(text, std::strlen(text)));
}
