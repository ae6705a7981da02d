#include "xSystemPaths.h"

#include "EngineText.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(xSystemPaths, AppDataFolderExists)
{
    EXPECT_TRUE(std::filesystem::is_directory(FsPath(GetAppDataDirectory())))
        << Narrow(GetAppDataDirectory());
}

TEST(xSystemPaths, SystemFontFolderExists)
{
    const xWString folder = GetSystemFontDirectory();
    ASSERT_FALSE(folder.IsEmpty());
    EXPECT_EQ(folder.Last(), u'/') << Narrow(folder);
    EXPECT_TRUE(std::filesystem::is_directory(FsPath(folder))) << Narrow(folder);
}
