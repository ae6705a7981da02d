#include "AutoLogin.h"
#include "EngineText.h"
#include "LauncherDownloadCase.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
class AutoLoginExchange : public DownloadTestBase
{
protected:
    void SetUp() override { StartCase(PeerKind::DevServer); }
    // The service's answers are served as files named after the key.
    xString ServiceBase() const { return xString(Url("get-code-").c_str()); }
};
} // namespace

TEST(AutoLogin, KeyIsCutToTwelveBytesAndEscapedAndShortKeysAskNothing)
{
    EXPECT_EQ(AutoLoginKeyForQuery(u"vabcdefghijkLMNOPQRS"), "vabcdefghijk");
    EXPECT_EQ(AutoLoginKeyForQuery(u"ab&c=d#e f~._"), "ab%26c%3Dd%23e%20f~.");
    // Four 3-byte characters fill twelve bytes; a fifth never goes out half.
    EXPECT_EQ(AutoLoginKeyForQuery(u"\u4E2D\u6587\u4E2D\u6587\u4E2D"),
              "%E4%B8%AD%E6%96%87%E4%B8%AD%E6%96%87");
    EXPECT_EQ(AutoLoginKeyForQuery(u"a\u4E2D\u6587\u4E2D\u6587"), "a%E4%B8%AD%E6%96%87%E4%B8%AD");

    CapturedLog log;
    EXPECT_TRUE(TranslateAutoLoginKey(u"abcdefghijk", "http://127.0.0.1:9/get?code=").IsEmpty());
    EXPECT_TRUE(log.Messages().empty()) << "an 11-character key makes no request";
}

TEST(AutoLogin, ParameterIsWhatFollowsTheMarker)
{
    EXPECT_EQ(LaunchParamFromAnswer("{\"url\":\"sid=12&uid=34\"}"), u"sid=12&uid=34");
    EXPECT_EQ(LaunchParamFromAnswer("{\"url\":\"a:b,c:d\",\"x\":1}"), u"a:b,c:d,x:1")
        << "everything after the first marker stays, commas and colons included";
    for (const char* nothing : {"{\"url\":\"\"}", "{\"error\":\"bad\"}", "url", ""})
        EXPECT_TRUE(LaunchParamFromAnswer(nothing).IsEmpty()) << nothing;
}

TEST_F(AutoLoginExchange, KeyBecomesTheLaunchParameter)
{
    Serve("get-code-vabcdefghijk", BytesOf("{\"url\":\"sid=7&uid=3\"}\r\nignored second line"));
    const xString url = ServiceBase() + "vabcdefghijk";
    EXPECT_EQ(TranslateAutoLoginKey(u"vabcdefghijkXYZ12345", ServiceBase()), u"sid=7&uid=3");
    EXPECT_TRUE(Log.Contains(std::string("Autokey Gets ") + url.c_str()));
    EXPECT_TRUE(Log.Contains("autologin: {\"url\":\"sid=7&uid=3\"}"));
    EXPECT_TRUE(Log.Contains("augologin formated: url:sid=7&uid=3"));
    const std::vector<std::string> requests = DevServerRequests(false);
    ASSERT_FALSE(requests.empty());
    EXPECT_EQ(requests.back(), "GET " + Path("get-code-vabcdefghijk") + " HTTP/1.1")
        << "only the first twelve characters of the key are sent";
}

TEST_F(AutoLoginExchange, UnknownKeyOrDeadServiceGiveNothing)
{
    EXPECT_TRUE(TranslateAutoLoginKey(u"nosuchkey123", ServiceBase()).IsEmpty());
    EXPECT_TRUE(Log.Contains("autologin: ")) << "a failed exchange logs an empty answer";
    EXPECT_TRUE(TranslateAutoLoginKey(u"vabcdefghijk", "http://127.0.0.1:9/get?code=").IsEmpty());
}
