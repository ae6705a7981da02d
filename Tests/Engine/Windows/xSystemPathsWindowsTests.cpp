#include "xSystemPaths.h"

#include "EngineText.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(xSystemPaths, AppDataAndSystemFontFoldersExist)
{
    const xWString fonts = GetSystemFontDirectory();
    ASSERT_FALSE(fonts.IsEmpty());
    EXPECT_EQ(fonts.Last(), u'/') << Narrow(fonts);
    for (const xWString& folder : {GetAppDataDirectory(), fonts})
        EXPECT_TRUE(std::filesystem::is_directory(FsPath(folder))) << Narrow(folder);
}
