#include "xSystemPaths.h"

#include "EngineText.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(xSystemPaths, AppDataFolderExists)
{
    EXPECT_TRUE(std::filesystem::is_directory(FsPath(GetAppDataDirectory())))
        << Narrow(GetAppDataDirectory());
}
