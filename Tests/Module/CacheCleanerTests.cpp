#include "CacheCleaner.h"

#include "FileBytes.h"
#include "TempFolder.h"

#include "xPath.h"
#include "xTextConversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace
{
xWString FolderOf(const std::filesystem::path& path)
{
    return AsDirectoryPath(Utf8ToWide(xString(path.u8string().c_str())));
}
} // namespace

// One real folder: what stays and what goes, beside the launcher and in the
// publish folder, with sub-folders untouched.
TEST(CacheCleaner, KeepsExecutablesFontsAndSettingsAndDeletesTheRest)
{
    TempFolder root("cache-clean");
    const struct
    {
        const char* Path;
        bool Kept;
    } files[] = {
        {"qtmx.exe", true},
        {"qtmx304.EXE", true},
        {"simhei.fnt", true},
        {"SIMHEI.TTF", true}, // the extension is compared without case
        {"extra.ttc", true},
        {"Setting.ini", true},
        {"ClientVersionSerial.txt", true}, // the highest version serial accepted
        {"ClientVersionSerial.txt.17.td", false},
        {"Startup1.2.pkg", false},
        {"Startup1.2.crc", false},
        {"Startup1.2.pkg.td", false},
        {"README", false},   // no extension
        {"archive.", false}, // an empty extension
        {"game.ico", false},
        {"Logs/launcher.log", true}, // not directly beside the launcher
        {"Publish/RWGame.exe", true},
        {"Publish/data.bin", false},
        {"Publish/Bin/data.bin", true}, // in a sub-folder of the publish folder
        {"Publish/PackageLock.ins", true},
        {"Publish/ttf.TTF", false},  // fonts stay only beside the launcher
        {"Publish0/data.bin", true}, // another launcher's folder
    };
    for (const auto& file : files)
        ASSERT_TRUE(WriteFileBytes(root.At(file.Path), "x"));
    std::filesystem::permissions(root.At("Publish/data.bin"), std::filesystem::perms::owner_read);

    const CacheCleanCount count = CleanCacheIn(FolderOf(root.Path), FolderOf(root.At("Publish")));

    int deleted = 0;
    for (const auto& file : files)
    {
        EXPECT_EQ(std::filesystem::exists(root.At(file.Path)), file.Kept) << file.Path;
        deleted += file.Kept ? 0 : 1;
    }
    EXPECT_EQ(count.Deleted, deleted);
    EXPECT_EQ(count.Failed, 0);
}

TEST(CacheCleaner, WithoutAPublishFolderOnlyTheLauncherFolderIsCleaned)
{
    TempFolder root("cache-clean");
    ASSERT_TRUE(WriteFileBytes(root.At("a.pkg"), "x"));
    ASSERT_TRUE(WriteFileBytes(root.At("Publish/b.bin"), "x"));
    EXPECT_EQ(CleanCacheIn(FolderOf(root.Path), xWString()).Deleted, 1);
    EXPECT_TRUE(std::filesystem::exists(root.At("Publish/b.bin")));
}
