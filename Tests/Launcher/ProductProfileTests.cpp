#include "LogBasePath.h"
#include "ProductConfig.h"
#include "QtmxProfile.h"

#include "EngineText.h"

#include <gtest/gtest.h>

TEST(QtmxProfile, LoginStringLosesBracesAndQuotesAndGameArgumentsUseCommas)
{
    QtmxProfile profile;
    EXPECT_TRUE(profile.SetLoginString(u"{a=1&\"b\"=2}"));
    EXPECT_EQ(profile.LoginString, xWString(u"a=1&b=2"));
    EXPECT_EQ(profile.GetGameArguments(), xWString(u"a=1,b=2"));
    EXPECT_EQ(profile.LoginString, xWString(u"a=1,b=2")) << "the stored login changes too";
    EXPECT_EQ(profile.GetGameArguments(), xWString(u"a=1,b=2"));
}

TEST(QtmxProfile, LinkNamesMatchWholeAndWithoutCase)
{
    EXPECT_EQ(Narrow(QtmxProfile::LinkPage("MainPage")), PRODUCT_HOME_PAGE_URL);
    EXPECT_EQ(Narrow(QtmxProfile::LinkPage("mainpage")), PRODUCT_HOME_PAGE_URL);
    EXPECT_EQ(Narrow(QtmxProfile::LinkPage("CHARGE")), PRODUCT_PAYMENT_URL);
    EXPECT_EQ(Narrow(QtmxProfile::LinkPage("forum")), PRODUCT_MAIN_SITE_URL);
    EXPECT_EQ(Narrow(QtmxProfile::LinkPage("service")), PRODUCT_MAIN_SITE_URL);
    EXPECT_EQ(Narrow(QtmxProfile::LinkPage("main")), "") << "a prefix is no link";
    EXPECT_EQ(Narrow(QtmxProfile::LinkPage("mainpages")), "");
    EXPECT_EQ(Narrow(QtmxProfile::LinkPage(nullptr)), "");
}

TEST(LogBasePath, InsideTheGameFolderBesideTheLauncherElseInTheApplicationDataFolder)
{
    const char16_t* appData = u"C:/Users/p/AppData/Roaming/";
    const struct
    {
        const char16_t* Module;
        const char16_t* AppData;
        const char* Base;
    } cases[] = {
        {u"C:/Users/p/AppData/Roaming/Brightfen/rwgametidemark/", appData, "Launcher"},
        {u"c:/users/P/appdata/roaming/BRIGHTFEN/RwGameTideMark/sub/", appData, "Launcher"}, // ASCII case
        {u"C:\\Users\\p\\AppData\\Roaming\\Brightfen\\rwgametidemark\\", appData, "Launcher"},
        {u"D:/Downloads/", appData, "C:/Users/p/AppData/Roaming/WispLauncher"},
        // A sibling folder with a longer name is outside.
        {u"C:/Users/p/AppData/Roaming/Brightfen/rwgametidemark2/", appData,
         "C:/Users/p/AppData/Roaming/WispLauncher"},
        {u"/opt/qtmx/", u"/home/p/.config", "/home/p/.config/WispLauncher"},
        {u"D:/dl/", u"C:\\Users\\p\\AppData\\Roaming", "C:/Users/p/AppData/Roaming/WispLauncher"},
        // An unknown folder: relative, so beside the launcher, never in the root ("/WispLauncher").
        {u"D:/Downloads/", u"", "WispLauncher"},
        {u"/", u"", "WispLauncher"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ChooseLogBasePath(c.Module, c.AppData, u"Brightfen/rwgametidemark/"), xString(c.Base))
            << "launcher in " << Narrow(c.Module) << ", application data in " << Narrow(c.AppData);
}
