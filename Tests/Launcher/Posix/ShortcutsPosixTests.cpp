#include "TempFolder.h"

#include "Shortcuts.h"

#include "xTextConversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

// The links are Desktop Entry files in the applications folder of a home made
// for the test (never the real one), with the Exec line quoted as desktop
// menus read it, and nothing else left in the home.

namespace
{
// HOME and XDG_DATA_HOME in the test's folder while a case runs, so the real
// home is never written; HOME comes back afterwards.
struct TemporaryHome
{
    const std::string Home = std::getenv("HOME") != nullptr ? std::getenv("HOME") : "";
    TemporaryHome(const TempFolder& folder, bool withDataHome)
    {
        setenv("HOME", folder.At("home").c_str(), 1);
        withDataHome ? setenv("XDG_DATA_HOME", folder.At("data").c_str(), 1) : unsetenv("XDG_DATA_HOME");
    }
    ~TemporaryHome()
    {
        setenv("HOME", Home.c_str(), 1);
        unsetenv("XDG_DATA_HOME");
    }
};

std::string Contents(const std::filesystem::path& path)
{
    std::ostringstream text;
    text << std::ifstream(path).rdbuf();
    return text.str();
}
} // namespace

TEST(ShortcutsPosix, LinksAreDesktopEntriesInTheApplicationsFolder)
{
    struct Case
    {
        bool WithDataHome;
        const char16_t* Target;
        const char16_t* Description;
        const char16_t* Icon;
        const char* Folder;
        const char* Expected;
    };
    const Case cases[] = {
        {true, u"/opt/My Games/a$b%c\\d", u"", u"", "data/applications",
         "[Desktop Entry]\nVersion=1.0\nType=Application\nExec=\"/opt/My Games/a\\\\$b%%c\\\\\\\\d\"\n"
         "Name=霜石纪元\n"},
        {false, u"/opt/qtmx", u"官网", u"/opt/game.ico", "home/.local/share/applications",
         "[Desktop Entry]\nVersion=1.0\nType=Application\nExec=/opt/qtmx\nName=霜石纪元\nComment=官网\n"
         "Icon=/opt/game.ico\n"},
        {true, u"http://www.example.com/?a=1&b=2", u"", u"", "data/applications",
         "[Desktop Entry]\nVersion=1.0\nType=Link\nURL=http://www.example.com/?a=1&b=2\nName=霜石纪元\n"},
    };
    for (const Case& row : cases)
    {
        TempFolder folder("links");
        TemporaryHome home(folder, row.WithDataHome);
        const xWString link = ShortcutLinkPath(QueryDesktopFolder(), u"霜石纪元");
        ASSERT_TRUE(SaveShellLink(link, row.Target, row.Description, row.Icon)) << row.Folder;
        const std::filesystem::path expected =
            folder.At(row.Folder) / std::filesystem::u8path("霜石纪元.desktop");
        EXPECT_EQ(row.Expected, Contents(expected));
        size_t files = 0;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(folder.At("")))
            files += entry.is_regular_file() ? 1 : 0;
        EXPECT_EQ(1u, files) << "the entry alone, no temporary beside it";
    }
}
