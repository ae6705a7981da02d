#include "CacheCleaner.h"

#include "FileBytes.h"
#include "TempFolder.h"

#include "LauncherFiles.h"

#include "xEngineContext.h"
#include "xLogFileTarget.h"
#include "xPath.h"
#include "xTextConversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
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

// Files another open holds stay, as on Windows where the delete fails: the
// log, another launcher's download and that download's resume record.
TEST(CacheCleaner, KeepsWhatAnotherOpenHolds)
{
    TempFolder root("cache-clean");
    const struct
    {
        const char* Path;
        bool Kept;
    } files[] = {
        {"Launcher.txt", true},           // the log
        {"Startup1.3.pkg.td", true},      // another launcher's download
        {"Startup1.3.pkg.resume", true},  // its record
        {"Startup1.2.pkg.resume", false}, // a record without a download in progress
        {"Startup1.2.pkg.td", false},     {"Publish/data.bin", true}, // being read
    };
    for (const auto& file : files)
        ASSERT_TRUE(WriteFileBytes(root.At(file.Path), "x"));
    const auto path = [&](const char* name) { return Utf8ToWide(xString(root.At(name).u8string().c_str())); };
    xEngineContext context;
    context.LogBasePath = xString(root.At("Launcher").u8string().c_str());
    context.LogSingleFile = 1;
    auto log = std::make_unique<xLogFileTarget>(context);
    ASSERT_TRUE(log->HasFile(LogCategory::General));
    const std::unique_ptr<xFile> download =
        LauncherFiles().OpenWrite(path("Startup1.3.pkg.td"), false, false);
    const std::unique_ptr<xFile> read = LauncherFiles().OpenRead(path("Publish/data.bin"), false);
    ASSERT_TRUE(download && read);

    const CacheCleanCount count = CleanCacheIn(FolderOf(root.Path), FolderOf(root.At("Publish")));
    log.reset();
    for (const auto& file : files)
        EXPECT_EQ(std::filesystem::exists(root.At(file.Path)), file.Kept) << file.Path;
    EXPECT_EQ(std::make_pair(count.Deleted, count.Failed), std::make_pair(2, 4));
}
