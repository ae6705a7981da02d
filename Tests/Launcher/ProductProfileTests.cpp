#include "LogBasePath.h"
#include "ProductConfig.h"
#include "QtmxProfile.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
std::string Utf8(const xWString& text)
{
    return std::string(xString(text).c_str());
}
} // namespace

TEST(QtmxProfile, LoginStringLosesBracesAndQuotesAndGameArgumentsUseCommas)
{
    QtmxProfile profile;
    EXPECT_TRUE(profile.SetLoginString(u"{a=1&\"b\"=2}"));
    EXPECT_EQ(Utf8(profile.LoginString), "a=1&b=2");
    EXPECT_EQ(Utf8(profile.GetGameArguments()), "a=1,b=2");
    EXPECT_EQ(Utf8(profile.LoginString), "a=1,b=2") << "the stored login changes too";
    EXPECT_EQ(Utf8(profile.GetGameArguments()), "a=1,b=2");
}

TEST(QtmxProfile, LinkNamesMatchWholeAndWithoutCase)
{
    EXPECT_EQ(Utf8(QtmxProfile::LinkPage("MainPage")), PRODUCT_HOME_PAGE_URL);
    EXPECT_EQ(Utf8(QtmxProfile::LinkPage("mainpage")), PRODUCT_HOME_PAGE_URL);
    EXPECT_EQ(Utf8(QtmxProfile::LinkPage("CHARGE")), PRODUCT_PAYMENT_URL);
    EXPECT_EQ(Utf8(QtmxProfile::LinkPage("forum")), PRODUCT_MAIN_SITE_URL);
    EXPECT_EQ(Utf8(QtmxProfile::LinkPage("service")), PRODUCT_MAIN_SITE_URL);
    EXPECT_EQ(Utf8(QtmxProfile::LinkPage("main")), "") << "a prefix is no link";
    EXPECT_EQ(Utf8(QtmxProfile::LinkPage("mainpages")), "");
    EXPECT_EQ(Utf8(QtmxProfile::LinkPage(nullptr)), "");
}

TEST(QtmxProfile, ProductValues)
{
    QtmxProfile profile;
    EXPECT_EQ(Utf8(profile.GameTitle()), "\xE9\x9C\x9C\xE7\x9F\xB3\xE7\xBA\xAA\xE5\x85\x83");
    EXPECT_EQ(Utf8(profile.ProductCode()), "qtmx");
    EXPECT_EQ(Utf8(profile.AppDataSubfolder()), "Brightfen/rwgametidemark/");
    EXPECT_EQ(Utf8(profile.ShortcutName()), Utf8(profile.GameTitle()));
    EXPECT_TRUE(profile.WebShortcutName().IsEmpty());
    EXPECT_TRUE(profile.ServerNamePattern().IsEmpty());
    const std::string client = profile.ClientBaseUrl().c_str();
    EXPECT_EQ(client.substr(client.size() - 14), "/mirra/client/");
    const std::string translate = profile.AutoLoginTranslateUrl().c_str();
    EXPECT_EQ(translate.substr(translate.size() - 10), "/get?code=");
    EXPECT_EQ(std::string(PackageNamePrefix.c_str()), "Startup");
}

TEST(LogBasePath, InsideTheGameFolderTheLogLiesBesideTheLauncher)
{
    const xWString appData(u"C:/Users/p/AppData/Roaming/");
    const xWString game(u"Brightfen/rwgametidemark/");
    EXPECT_EQ(
        std::string(ChooseLogBasePath(u"C:/Users/p/AppData/Roaming/Brightfen/rwgametidemark/", appData, game)
                        .c_str()),
        "Launcher");
    EXPECT_EQ(std::string(ChooseLogBasePath(u"c:/users/P/appdata/roaming/BRIGHTFEN/RwGameTideMark/sub/",
                                            appData, game)
                              .c_str()),
              "Launcher")
        << "ASCII case is ignored";
    EXPECT_EQ(std::string(ChooseLogBasePath(u"C:\\Users\\p\\AppData\\Roaming\\Brightfen\\rwgametidemark\\",
                                            appData, game)
                              .c_str()),
              "Launcher");
    EXPECT_EQ(std::string(ChooseLogBasePath(u"D:/Downloads/", appData, game).c_str()),
              "C:/Users/p/AppData/Roaming/WispLauncher");
    EXPECT_EQ(
        std::string(ChooseLogBasePath(u"C:/Users/p/AppData/Roaming/Brightfen/rwgametidemark2/", appData, game)
                        .c_str()),
        "C:/Users/p/AppData/Roaming/WispLauncher")
        << "a sibling folder with a longer name is outside";
}
