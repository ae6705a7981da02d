#include "CapturedLog.h"
#include "EngineText.h"
#include "VersionFile.h"

#include <gtest/gtest.h>

TEST(VersionFile, ServerEntryOrDefault)
{
    CapturedLog log;
    EXPECT_EQ(ChooseClientVersion("default=1.0.5", ""), "1.0.5");
    EXPECT_EQ(ChooseClientVersion("7=1.0.4,default=1.0.5", "7"), "1.0.4");
    EXPECT_EQ(ChooseClientVersion("7=1.0.4,default=1.0.5", "8"), "1.0.5")
        << "a missing server falls back silently";
    EXPECT_EQ(ChooseClientVersion("7=1.0.4,default=1.0.5", ""), "1.0.5");
    EXPECT_EQ(ChooseClientVersion("default=1,default=2,7=a,7=b", "7"), "a")
        << "the first entry of a key wins";
    EXPECT_EQ(ChooseClientVersion(" 7=x,default=y", "7"), "y") << "keys are not trimmed";
    EXPECT_TRUE(log.Messages().empty());
}

TEST(VersionFile, BadPiecesAreLoggedAndSkipped)
{
    CapturedLog log;
    EXPECT_EQ(ChooseClientVersion("junk,a=b=c,default=2.0,", ""), "2.0");
    EXPECT_EQ(log.Messages(), (std::vector<std::string>{"E SidVersionError: junk", "E SidVersionError: a=b=c",
                                                        "E SidVersionError: "}))
        << "the last piece is the empty one after a trailing comma";
    EXPECT_EQ(ChooseClientVersion("7=1.0", "7"), "");
    EXPECT_TRUE(log.Contains("E SidVersionError: No default version"));
    EXPECT_EQ(ChooseClientVersion("", ""), "");
}
