// The dev server's pure rules, without a socket: range decisions, path
// screening, the mapping file's JSON and the fault names.

#include "DevServer.h"
#include "FaultSet.h"
#include "JsonText.h"
#include "RangeRequest.h"
#include "ServedFile.h"

#include <gtest/gtest.h>

#include <tuple>

namespace
{
TEST(DevServerRules, RangeDecisions)
{
    struct Case
    {
        bool Present;
        const char* Header;
        uint64_t Size;
        RangeAnswer Answer;
        uint64_t First;
        uint64_t Length;
    };
    const Case cases[] = {
        {false, "", 10, RangeAnswer::Whole, 0, 0},
        {true, "bytes=0-9", 10, RangeAnswer::Partial, 0, 10},
        {true, " BYTES = 2-4 ", 10, RangeAnswer::Partial, 2, 3},
        {true, "bytes=5-", 10, RangeAnswer::Partial, 5, 5},
        {true, "bytes=-3", 10, RangeAnswer::Partial, 7, 3},
        {true, "bytes=-30", 10, RangeAnswer::Partial, 0, 10},
        {true, "bytes=8-100", 10, RangeAnswer::Partial, 8, 2},
        {true, "bytes=0-99999999999999999999999", 10, RangeAnswer::Partial, 0, 10},
        {true, "bytes=0-1,4-5", 10, RangeAnswer::Whole, 0, 0},
        {true, "bytes=0-1,,", 10, RangeAnswer::Partial, 0, 2},
        {true, "bytes=0--1", 0, RangeAnswer::EmptyWhole, 0, 0},
        {true, "bytes=0--1", 10, RangeAnswer::Unsatisfiable, 0, 0},
        {true, "bytes=5--1", 0, RangeAnswer::Unsatisfiable, 0, 0},
        {true, "bytes=-1", 0, RangeAnswer::Unsatisfiable, 0, 0},
        {true, "bytes=10-", 10, RangeAnswer::Unsatisfiable, 0, 0},
        {true, "bytes=4-3", 10, RangeAnswer::Unsatisfiable, 0, 0},
        {true, "bytes=-0", 10, RangeAnswer::Unsatisfiable, 0, 0},
        {true, "bytes=99999999999999999999-", 10, RangeAnswer::Unsatisfiable, 0, 0},
        {true, "bytes=", 10, RangeAnswer::Unsatisfiable, 0, 0},
        {true, "bytes=1-2-3", 10, RangeAnswer::Unsatisfiable, 0, 0},
        {true, "bytes=0-1,x", 10, RangeAnswer::Unsatisfiable, 0, 0},
        {true, "lines=0-1", 10, RangeAnswer::Unsatisfiable, 0, 0},
    };
    for (const Case& c : cases)
    {
        const RangeDecision d = DecideRange(c.Present, c.Header, c.Size);
        const bool partial = d.Answer == RangeAnswer::Partial; // only then do the bounds count
        EXPECT_EQ(std::make_tuple(d.Answer, partial ? d.First : 0, partial ? d.Length : 0),
                  std::make_tuple(c.Answer, c.First, c.Length))
            << "\"" << c.Header << "\" on " << c.Size << " bytes";
    }
    EXPECT_EQ(ContentRangeText(DecideRange(true, "bytes=-3", 10), 10), "bytes 7-9/10");
}

TEST(DevServerRules, ServedPathScreening)
{
    const std::pair<const char*, const char*> accepted[] = {{"/kg/Startup1.pkg", "kg/Startup1.pkg"},
                                                            {"//kg///./a", "kg/a"},
                                                            {"/", ""},
                                                            {"/a..b/..c", "a..b/..c"}};
    for (const auto& [path, relative] : accepted)
    {
        const auto result = RelativeServedPath(path);
        ASSERT_TRUE(result.has_value()) << path;
        EXPECT_EQ(*result, relative) << path;
    }
    for (const std::string& path :
         std::vector<std::string>{"", "kg/a", "/..", "/kg/../a", "/kg/..", "/a\\b", std::string("/a\0b", 4),
                                  "/a\nb", "http://host/a", "C:/windows"})
        EXPECT_FALSE(RelativeServedPath(path).has_value()) << path;
}

TEST(DevServerRules, MappingJson)
{
    std::map<std::string, std::string> members;
    std::string error;
    ASSERT_TRUE(ParseStringObject(
        "\xEF\xBB\xBF { \"a\" : \"1\", \"b\\\"\\\\\\/\\n\":\"\\u0041\\u00e9\\u4e2d\\ud83d\\ude00\","
        " \"a\": \"2\" }\n",
        members, error))
        << error;
    EXPECT_EQ(members.size(), 2u);
    EXPECT_EQ(members["a"], "2") << "a later duplicate wins";
    EXPECT_EQ(members["b\"\\/\n"], "A\xC3\xA9\xE4\xB8\xAD\xF0\x9F\x98\x80");
    ASSERT_TRUE(ParseStringObject("{}", members, error));
    EXPECT_TRUE(members.empty());

    for (const char* bad : {"", "[]", "{", "{\"a\"}", "{\"a\":1}", "{\"a\":{}}", "{\"a\":\"1\",}",
                            "{\"a\":\"1\"} x", "{\"a\":\"\\x\"}", "{\"a\":\"\\u12\"}", "{\"a\":\"\\ud800\"}",
                            "{\"a\":\"\\udc00\"}", "{\"a\":\"line\nbreak\"}", "{\"a\":\"open}"})
    {
        members = {{"kept", "yes"}};
        error.clear();
        EXPECT_FALSE(ParseStringObject(bad, members, error)) << bad;
        EXPECT_NE(error.find("at byte"), std::string::npos) << bad << ": " << error;
        EXPECT_EQ(members.size(), 1u) << "a failed parse leaves the map alone: " << bad;
    }
    EXPECT_EQ(JsonQuote("a\"b\\c\x01\xE5\xBC\xA0"), "\"a\\\"b\\\\c\\u0001\xE5\xBC\xA0\"");
}

// Settings in the order the set lists them, so that each one's line lands at the end.
TEST(DevServerRules, FaultSettings)
{
    FaultSet faults;
    std::string error, listed;
    for (const std::string setting :
         {"drop-after=0", "ignore-range=", "status=404", "delay-ms=3600000", "corrupt-at=7",
          "head-length=9223372036854775808", "extra-bytes=5", "shift-range=3", "reset-after=0", "pad-to=100",
          "trickle-ms=1000", "redirect-to=http://127.0.0.1:1/x", "serve-instead=Other.pkg", "chunked=1",
          "gzip=1", "endless-headers=1", "for-path=.pkg", "times=2"})
    {
        const size_t equals = setting.find('=');
        EXPECT_TRUE(ApplyFaultSetting(faults, setting.substr(0, equals), setting.substr(equals + 1), error))
            << setting << ": " << error;
        listed += (setting == "ignore-range=" ? "ignore-range=1" : setting) + "\n";
        EXPECT_EQ(DescribeFaults(faults), listed) << setting;
    }
    EXPECT_EQ(faults.StatusBodyText(), "status 404\n");
    for (const std::string bad :
         {"drop-after=-1", "drop-after=99999999999999999999", "status=199", "status=204", "status=304",
          "status=600", "delay-ms=3600001", "ignore-range=yes", "stall-after=", "corrupt-at=x", "times=0",
          "unknown=1", "redirect-to=ftp://x/", "redirect-to=http://a\r\nX: 1", "serve-instead=a/b",
          "serve-instead=", "trickle-ms=3600001", "pad-to=-1", "gzip=2"})
    {
        const size_t equals = bad.find('=');
        error.clear();
        EXPECT_FALSE(ApplyFaultSetting(faults, bad.substr(0, equals), bad.substr(equals + 1), error)) << bad;
        EXPECT_NE(error.find(bad.substr(0, equals)), std::string::npos) << bad << ": " << error;
        EXPECT_EQ(DescribeFaults(faults), listed) << bad << " changed the set";
    }
    EXPECT_TRUE(ApplyFaultSetting(faults, "ignore-range", "0", error));
    EXPECT_FALSE(faults.IgnoreRange);
    EXPECT_TRUE(IsFaultFlag("endless-headers") && IsFaultFlag("gzip") && !IsFaultFlag("pad-to"));
    EXPECT_TRUE(IsFaultName("serve-instead") && IsFaultName("times") && !IsFaultName("serve"));

    FaultSet qualifiersOnly;
    EXPECT_TRUE(ApplyFaultSetting(qualifiersOnly, "for-path", ".pkg", error));
    EXPECT_EQ(DescribeFaults(qualifiersOnly), "no faults\n") << "qualifiers alone are no faults";
    EXPECT_FALSE(qualifiersOnly.Hits("/a.pkg"));
    EXPECT_EQ(DescribeFaults(FaultSet()), "no faults\n");
}

TEST(DevServerRules, QueryValuesAndAddresses)
{
    std::string value;
    ASSERT_TRUE(RawQueryValue("/p?x=1&data=a%3ab%2c&data=2", "data", value));
    EXPECT_EQ(value, "a%3ab%2c") << "the first, undecoded";
    ASSERT_TRUE(RawQueryValue("/p?data", "data", value));
    EXPECT_EQ(value, "");
    EXPECT_FALSE(RawQueryValue("/p?mydata=1", "data", value));
    EXPECT_FALSE(RawQueryValue("/p", "data", value));
    EXPECT_EQ(PercentDecode("a%3Ab+c%2"), "a:b+c%2");
    for (const char* address : {"127.0.0.1", "127.1.2.3", "::1", "localhost"})
        EXPECT_TRUE(IsLoopbackAddress(address)) << address;
    for (const char* address : {"0.0.0.0", "192.168.1.1", "::", "128.0.0.1", "example.com", ""})
        EXPECT_FALSE(IsLoopbackAddress(address)) << address;
}
} // namespace
