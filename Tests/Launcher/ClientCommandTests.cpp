#include "ClientCommand.h"
#include "EngineText.h"
#include "PackageProgress.h"

#include <gtest/gtest.h>

TEST(ClientCommand, CommandFirstParameterOnlyWithExactlyTwo)
{
    struct Case
    {
        std::vector<xWString> Arguments;
        const char16_t* Command;
        const char16_t* Parameter;
        bool Login;
    };
    const Case cases[] = {
        {{u"login", u"sid=3&uid=9"}, u"login", u"sid=3&uid=9", true},
        {{u"LOGIN", u"x"}, u"LOGIN", u"x", true},
        {{u"login"}, u"login", u"", true}, // still a login, with an empty parameter
        {{u"login", u"a", u"b"}, u"login", u"", true},
        {{u"login2", u"a"}, u"login2", u"a", false},
        {{}, u"", u"", false},
    };
    for (const Case& c : cases)
    {
        const ClientCommand call = ReadClientCommand(c.Arguments);
        EXPECT_EQ(call.Command, xWString(c.Command)) << &c - cases;
        EXPECT_EQ(call.Parameter, xWString(c.Parameter)) << &c - cases;
        EXPECT_EQ(call.IsLogin, c.Login) << &c - cases;
    }
}

TEST(ClientCommand, OneUpdateAndOneGameAtATime)
{
    EXPECT_EQ(LoginRefusal(false, PackageUpdateIdle), nullptr);
    EXPECT_EQ(LoginRefusal(false, PackageUpdateDone), nullptr);
    EXPECT_EQ(LoginRefusal(false, PackageUpdateFailed), nullptr);
    EXPECT_NE(LoginRefusal(false, PackageUpdateDownloading), nullptr);
    EXPECT_NE(LoginRefusal(false, PackageUpdateChecking), nullptr);
    EXPECT_NE(LoginRefusal(false, PackageUpdateStarted), nullptr) << "its version is being asked for";
    EXPECT_NE(LoginRefusal(true, PackageUpdateDone), nullptr);
}

TEST(ClientCommand, MainFrameButtonsByIdWithoutCase)
{
    const std::pair<const char*, MainFrameAction> cases[] = {
        {"close", MainFrameAction::ConfirmExit}, {"CLOSE", MainFrameAction::ConfirmExit},
        {"Close", MainFrameAction::ConfirmExit}, {"close2", MainFrameAction::OpenLink},
        {"min", MainFrameAction::Minimize},      {"mainpage", MainFrameAction::OpenLink},
        {"charge", MainFrameAction::OpenLink},   {"", MainFrameAction::OpenLink},
        {"Clear", MainFrameAction::CleanCache},
    };
    for (const auto& [id, action] : cases)
        EXPECT_EQ(ChooseMainFrameAction(id), action) << id;
}
