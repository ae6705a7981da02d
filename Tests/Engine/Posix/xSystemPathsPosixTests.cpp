#include "xPath.h"
#include "xSystemPaths.h"

#include "EngineText.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

TEST(xSystemPaths, AppDataFolderIsTheXdgConfigFolder)
{
    const char* configHome = std::getenv("XDG_CONFIG_HOME");
    const std::string expected = configHome != nullptr && configHome[0] == '/'
                                     ? std::string(configHome)
                                     : std::string(std::getenv("HOME")) + "/.config";
    EXPECT_EQ(GetAppDataDirectory(), xWString(NormalisePath(AsDirectoryPath(xString(expected.c_str())))));
}
