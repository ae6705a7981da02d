#include "EngineText.h"
#include "UrlParts.h"

#include <gtest/gtest.h>

#include <string>

TEST(UrlParts, CrackUrlSplitsHostPortAndPath)
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
        {"http://h/" + std::string(85, '\xE4'), false, "", 0, ""},
        {"http://" + std::string(255, 'h') + "/a", true, nullptr, 80, "/a"},
        {"http://" + std::string(256, 'h') + "/a", false, "", 0, ""},
        {"http://h/" + std::string(254, 'p'), true, "h", 80, nullptr},
        {"http://h/" + std::string(255, 'p'), false, "", 0, ""},
    };
    for (const Case& c : cases)
    {
        UrlParts parts;
        ASSERT_EQ(CrackUrl(c.Url.c_str(), parts), c.Cracks) << c.Url;
        if (!c.Cracks)
            continue;
        EXPECT_EQ(parts.Host, c.Host ? c.Host : c.Url.substr(7, 255).c_str()) << c.Url;
        EXPECT_EQ(parts.Port, c.Port) << c.Url;
        EXPECT_EQ(parts.Path, c.Path ? c.Path : c.Url.substr(8).c_str()) << c.Url;
    }
    // The limit counts the escaped path, as it goes on the wire.
    std::string escaped = "/";
    for (int i = 0; i < 84; ++i)
        escaped += "%E4";
    UrlParts parts;
    ASSERT_TRUE(CrackUrl(("http://h/" + std::string(84, '\xE4') + "ab").c_str(), parts));
    EXPECT_EQ(parts.Path, (escaped + "ab").c_str());
}
