#include "TempFolder.h"

#include "Shortcuts.h"

#include "xTextConversion.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

// The links are Desktop Entry files in the applications folder of a home made
// for the test (never the real one), with the Exec line quoted as the
// specification of those files wants, and nothing else left in the home.

namespace
{
// HOME and XDG_DATA_HOME for the length of a test.
class TemporaryHome
{
public:
    explicit TemporaryHome(const TempFolder& folder, bool withDataHome)
    {
        Keep("HOME", folder.At("home").string());
        Keep("XDG_DATA_HOME", withDataHome ? folder.At("data").string() : std::string());
    }
    ~TemporaryHome()
    {
        for (const auto& [name, value] : Saved)
            value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    }

private:
    void Keep(const std::string& name, const std::string& value)
    {
        const char* old = std::getenv(name.c_str());
        Saved.emplace_back(name, old != nullptr ? old : "");
        value.empty() ? unsetenv(name.c_str()) : setenv(name.c_str(), value.c_str(), 1);
    }
    std::vector<std::pair<std::string, std::string>> Saved;
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
