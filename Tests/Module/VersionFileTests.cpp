#include "CapturedLog.h"
#include "EngineText.h"
#include "VersionFile.h"
#include "VersionStamp.h"

#include <gtest/gtest.h>

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
    // The choice itself (own entry, else default; first of a key wins) is FuzzVersionFile's.
    EXPECT_EQ(ChooseClientVersion("default=1,default=2,7=a,7=b", "7"), "a");
}

// Only what the line names, as the choice reads it, lets an unsigned source pick a version.
TEST(VersionFile, ListedVersionsAreTheEntriesValues)
{
    CapturedLog log;
    const struct
    {
        const char* Line;
        const char* Version;
        bool Listed;
    } rows[] = {
        {"7=1.0.4,default=1.0.5", "1.0.4", true},       {"7=1.0.4,default=1.0.5", "1.0.5", true},
        {"7=1.0.4,default=1.0.5", "1.0.6", false},      {"7=1.0.4,7=1.0.3,default=1.0.5", "1.0.3", false},
        {"junk,1.0.3=a,default=1.0.5", "1.0.3", false}, {"default=1.0.5", "default", false},
    };
    for (const auto& row : rows)
        EXPECT_EQ(row.Listed, ListsClientVersion(row.Line, row.Version)) << row.Line << " " << row.Version;
    EXPECT_TRUE(log.Messages().empty());
}

// The stamp line of a signed version file, read as strictly as the publisher writes it.
TEST(VersionStamp, SerialAndExpiryAsThePublisherWritesThem)
{
    const struct
    {
        const char* Line;
        bool Parsed;
        bool HasSerial;
        uint64_t Serial;
        bool HasExpiry;
        int64_t Expires;
    } rows[] = {
        {"serial=20,expires=2099-01-01T00:00:00Z", true, true, 20, true, 4070908800},
        {"expires=1970-01-01T00:00:00Z", true, false, 0, true, 0},
        {"serial=18446744073709551615", true, true, UINT64_MAX, false, 0},
        {"serial=1,later=x", true, true, 1, false, 0}, // a later publisher's key
        {"", true, false, 0, false, 0},
        {"serial=18446744073709551616", false, false, 0, false, 0},
        {"serial=-1", false, false, 0, false, 0},
        {"serial=1,serial=2", false, false, 0, false, 0},
        {"serial=1,expires=2099-01-01", false, false, 0, false, 0},
        {"expires=2023-02-29T00:00:00Z", false, false, 0, false, 0},
        {"expires=2024-02-29T24:00:00Z", false, false, 0, false, 0},
        {"expires=1969-12-31T23:59:59Z", false, false, 0, false, 0},
        {"serial 1", false, false, 0, false, 0},
    };
    for (const auto& row : rows)
    {
        VersionStamp stamp;
        EXPECT_EQ(row.Parsed, ParseVersionStamp(row.Line, stamp)) << row.Line;
        if (!row.Parsed)
            continue;
        EXPECT_EQ(row.HasSerial, stamp.HasSerial) << row.Line;
        EXPECT_EQ(row.Serial, stamp.Serial) << row.Line;
        EXPECT_EQ(row.HasExpiry, stamp.HasExpiry) << row.Line;
        EXPECT_EQ(row.Expires, stamp.Expires) << row.Line;
        if (row.HasSerial && row.HasExpiry)
        {
            EXPECT_EQ(std::string(row.Line), std::string(FormatVersionStamp(stamp).c_str()));
        }
    }
    EXPECT_EQ("2024-02-29T23:59:59Z", std::string(FormatUtcTime(1709251199).c_str()));
}
