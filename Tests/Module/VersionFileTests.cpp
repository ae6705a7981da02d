#include "CapturedLog.h"
#include "VersionFile.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string Choose(const char* line, const char* sid)
{
    return ChooseClientVersion(line, sid).c_str();
}
} // namespace

TEST(VersionFile, ServerEntryOrDefault)
{
    CapturedLog log;
    EXPECT_EQ(Choose("default=1.0.5", ""), "1.0.5");
    EXPECT_EQ(Choose("7=1.0.4,default=1.0.5", "7"), "1.0.4");
    EXPECT_EQ(Choose("7=1.0.4,default=1.0.5", "8"), "1.0.5") << "a missing server falls back silently";
    EXPECT_EQ(Choose("7=1.0.4,default=1.0.5", ""), "1.0.5");
    EXPECT_EQ(Choose("default=1,default=2,7=a,7=b", "7"), "a") << "the first entry of a key wins";
    EXPECT_EQ(Choose(" 7=x,default=y", "7"), "y") << "keys are not trimmed";
    EXPECT_TRUE(log.Messages().empty());
}

TEST(VersionFile, BadPiecesAreLoggedAndSkipped)
{
    CapturedLog log;
    EXPECT_EQ(Choose("junk,a=b=c,default=2.0,", ""), "2.0");
    EXPECT_TRUE(log.Contains("E SidVersionError: junk"));
    EXPECT_TRUE(log.Contains("E SidVersionError: a=b=c"));
    EXPECT_TRUE(log.Contains("E SidVersionError: ")) << "the empty piece after a trailing comma";

    EXPECT_EQ(Choose("7=1.0", "7"), "");
    EXPECT_TRUE(log.Contains("E SidVersionError: No default version"));
    EXPECT_EQ(Choose("", ""), "");
}
