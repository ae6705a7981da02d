#include "LauncherDownload.h"
#include "UrlParts.h"

#include <gtest/gtest.h>

#include <string>

TEST(LauncherDownloadParts, CrackUrlSplitsHostPortAndPath)
{
    struct Case
    {
        std::string Url;
        bool Cracks;
        const char* Host;
        uint16_t Port;
        const char* Path;
    };
    const Case cases[] = {
        {"http://update.example.com/mirra/client/ClientVersionSID.txt", true, "update.example.com", 80,
         "/mirra/client/ClientVersionSID.txt"},
        {"HTTP://127.0.0.1:18080/kg/Startup1.pkg", true, "127.0.0.1", 18080, "/kg/Startup1.pkg"},
        {"http://host:8001/plugin_watch.htm?data=step%3a1002", true, "host", 8001,
         "/plugin_watch.htm?data=step%3a1002"},
        {"http://host", true, "host", 80, "/"},
        {"http://host?q=1", true, "host", 80, "/?q=1"},
        {"http://host/a#fragment", true, "host", 80, "/a"},
        {"http://host:65535/", true, "host", 65535, "/"},
        {"https://host/a", false, "", 0, ""},
        {"ftp://host/a", false, "", 0, ""},
        {"host/a", false, "", 0, ""},
        {"http:///a", false, "", 0, ""},
        {"http://user@host/a", false, "", 0, ""},
        {"http://host:0/a", false, "", 0, ""},
        {"http://host:65536/a", false, "", 0, ""},
        {"http://host:/a", false, "", 0, ""},
        {"http://host:80x/a", false, "", 0, ""},
        {"http://ho st/a", false, "", 0, ""},
        {"http://host/a b?c d", true, "host", 80, "/a%20b?c%20d"},
        {"http://host/\xE4\xB8\xAD%41%zz", true, "host", 80, "/%E4%B8%AD%41%zz"},
        {"http://host/a\r\nX: y", false, "", 0, ""},
        {"http://host/a\x7F", false, "", 0, ""},
        {"http://h/" + std::string(84, '\xE4') + "ab", true, "h", 80, nullptr},
        {"http://h/" + std::string(85, '\xE4'), false, "", 0, ""},
        {"http://" + std::string(255, 'h') + "/a", true, nullptr, 80, "/a"},
        {"http://" + std::string(256, 'h') + "/a", false, "", 0, ""},
        {"http://h/" + std::string(254, 'p'), true, "h", 80, nullptr},
        {"http://h/" + std::string(255, 'p'), false, "", 0, ""},
    };
    for (const Case& c : cases)
    {
        UrlParts parts;
        ASSERT_EQ(CrackUrl(xString(c.Url.c_str()), parts), c.Cracks) << c.Url;
        if (!c.Cracks)
            continue;
        if (c.Host != nullptr)
        {
            EXPECT_EQ(std::string(parts.Host.c_str()), c.Host) << c.Url;
        }
        EXPECT_EQ(parts.Port, c.Port) << c.Url;
        if (c.Path != nullptr)
        {
            EXPECT_EQ(std::string(parts.Path.c_str()), c.Path) << c.Url;
        }
    }
}

TEST(LauncherDownloadParts, FileNameIsTheLastPathComponent)
{
    xString name;
    ASSERT_TRUE(GetUrlFileName("http://h/mirra/client/Startup12.pkg", name));
    EXPECT_EQ(name, "Startup12.pkg");
    ASSERT_TRUE(GetUrlFileName("http://h:81/simhei.fnt#top", name));
    EXPECT_EQ(name, "simhei.fnt") << "a fragment is not part of the name";
    ASSERT_TRUE(GetUrlFileName("http://h/v/Startup%E6%B5%8B%20%E7%89%88.pkg", name));
    EXPECT_EQ(name, "Startup\xE6\xB5\x8B \xE7\x89\x88.pkg") << "the name as stored on the server";
    EXPECT_FALSE(GetUrlFileName("http://h/folder/", name));
    EXPECT_FALSE(GetUrlFileName("http://h", name)) << "the host is no file name";
    EXPECT_FALSE(GetUrlFileName("https://h/a.bin", name));
}

TEST(LauncherDownloadParts, OnlyPlainFileNamesAreTaken)
{
    const char* plain[] = {"Startup12.pkg", "simhei.fnt",  "a",    "qtmx3.exe",
                           ".hidden",       "CONSOLE.txt", "com10"};
    for (const char* name : plain)
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    const char* refused[] = {"",    ".",       "..",  "a..b", "a\\b",     "c:x",       "a:stream", "x?y",
                             "a*",  "a<b",     "a>b", "a|b",  "a\"b",     "tab\tname", "trail.",   "trail ",
                             "CON", "con.txt", "NUL", "com1", "Lpt9.log", "del\x7F"};
    for (const char* name : refused)
        EXPECT_FALSE(IsPlainFileName(name)) << name;
}

TEST(LauncherDownloadParts, ContentLengthIsDecimalAndSane)
{
    struct Case
    {
        const char* Text;
        int64_t Size;
    };
    const Case cases[] = {{"0", 0},
                          {"12345", 12345},
                          {" 42 ", 42},
                          {"9223372036854775807", INT64_MAX},
                          {"9223372036854775808", -1},
                          {"-5", -1},
                          {"+5", -1},
                          {"", -1},
                          {"abc", -1},
                          {"12abc", -1},
                          {"1 2", -1},
                          {"000000000000000000000000000001", -1}};
    for (const Case& c : cases)
        EXPECT_EQ(ParseContentLength(c.Text), c.Size) << "\"" << c.Text << "\"";
}

TEST(LauncherDownloadParts, ContentRangeNamesTheBytes)
{
    ContentRange range;
    ASSERT_TRUE(ParseContentRange("bytes 5-14/100", range));
    EXPECT_EQ(range.First, 5u);
    EXPECT_EQ(range.Last, 14u);
    EXPECT_EQ(range.Total, 100);
    ASSERT_TRUE(ParseContentRange("bytes 0-0/*", range));
    EXPECT_EQ(range.Total, -1);
    const char* refused[] = {
        "bytes */100",    "bytes 5-4/100",   "bytes 5-14/14",   "bytes 5-14",
        "items 5-14/100", "bytes -5-14/100", "bytes 5-14/100x", "bytes 99999999999999999999-1/2"};
    for (const char* text : refused)
        EXPECT_FALSE(ParseContentRange(text, range)) << text;
}

TEST(LauncherDownloadParts, RangeHeaderIsSignedDecimal)
{
    EXPECT_EQ(MakeRangeHeader(0, 100), "Range: bytes=0-99\r\n");
    EXPECT_EQ(MakeRangeHeader(0, 0), "Range: bytes=0--1\r\n") << "the empty file's range";
    EXPECT_EQ(MakeRangeHeader(1234, 5000), "Range: bytes=1234-6233\r\n");
    EXPECT_EQ(MakeRangeHeader(5000000000ull, 1), "Range: bytes=5000000000-5000000000\r\n");
}
