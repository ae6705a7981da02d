#include "EngineText.h"
#include "UrlParts.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

TEST(UrlParts, CrackUrlSplitsHostPortAndPath)
{
    const std::string host(255, 'h');
    const std::string path(254, 'p');
    // The path limit counts the escaped path, as it goes on the wire.
    std::string escaped;
    for (int i = 0; i < 84; ++i)
        escaped += "%E4";
    // Each URL and "HOST PORT PATH" of its parts.
    const std::pair<std::string, std::string> cases[] = {
        {"http://update.example.com/mirra/client/ClientVersionSID.txt",
         "update.example.com 80 /mirra/client/ClientVersionSID.txt"},
        {"HTTP://127.0.0.1:18080/kg/Startup1.pkg", "127.0.0.1 18080 /kg/Startup1.pkg"},
        {"http://host:8001/plugin_watch.htm?data=step%3a1002",
         "host 8001 /plugin_watch.htm?data=step%3a1002"},
        {"http://host", "host 80 /"},
        {"http://host?q=1", "host 80 /?q=1"},
        {"http://host/a#fragment", "host 80 /a"},
        {"http://host:65535/", "host 65535 /"},
        {"http://host/a b?c d", "host 80 /a%20b?c%20d"},
        {"http://host/\xE4\xB8\xAD%41%zz", "host 80 /%E4%B8%AD%41%zz"},
        {"http://h/" + std::string(84, '\xE4') + "ab", "h 80 /" + escaped + "ab"},
        {"http://" + host + "/a", host + " 80 /a"},
        {"http://h/" + path, "h 80 /" + path},
    };
    UrlParts ignored;
    for (const std::string& refused : std::vector<std::string>{
             "https://host/a", "ftp://host/a", "host/a", "http:///a", "http://user@host/a", "http://host:0/a",
             "http://host:65536/a", "http://host:/a", "http://host:80x/a", "http://ho st/a",
             "http://host/a\r\nX: y", "http://host/a\x7F", "http://h/" + std::string(85, '\xE4'),
             "http://" + host + "h/a", "http://h/" + path + "p"})
        EXPECT_FALSE(CrackUrl(refused.c_str(), ignored)) << refused;
    for (const auto& [url, expected] : cases)
    {
        UrlParts parts;
        ASSERT_TRUE(CrackUrl(url.c_str(), parts)) << url;
        EXPECT_EQ(std::string(parts.Host.c_str()) + " " + std::to_string(parts.Port) + " " +
                      parts.Path.c_str(),
                  expected);
    }
}
