#include "xPath.h"
#include "xStringOps.h"
#include "xSystemPaths.h"

#include "EngineText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace fs = std::filesystem;

namespace
{
// "/" separators only, and a trailing one.
void ExpectDirectoryForm(const xWString& folder, const char* what)
{
    EXPECT_FALSE(folder.IsEmpty()) << what;
    EXPECT_EQ(folder.Last(), u'/') << what << " " << Narrow(folder);
    EXPECT_LT(FindText(folder, u"\\"), 0) << what << " " << Narrow(folder);
}
} // namespace

TEST(xSystemPaths, ModuleFolderHoldsThisTestProgramAndFoldersAreInDirectoryForm)
{
    const xWString path = GetModulePath();
    const xWString folder = GetModuleDirectory();
    ExpectDirectoryForm(folder, "module folder");
    ExpectDirectoryForm(GetAppDataDirectory(), "application-data folder");
    EXPECT_LT(FindText(path, u"\\"), 0) << Narrow(path);
    EXPECT_TRUE(StartsWith(path, folder)) << Narrow(path) << " is not in " << Narrow(folder);
    const std::string name = Narrow(GetFileName(path));
    EXPECT_EQ(name.rfind("EngineTests", 0), 0u) << "module path names " << name;
    EXPECT_TRUE(fs::is_regular_file(FsPath(path))) << Narrow(path);
}

TEST(xSystemPaths, WorkingFolderBecomesTheModuleFolder)
{
    const fs::path saved = fs::current_path();
    fs::current_path(fs::temp_directory_path());
    const bool changed = SetWorkingDirectoryToModule();
    const fs::path now = fs::current_path();
    fs::current_path(saved);

    ASSERT_TRUE(changed);
    EXPECT_EQ(GetWorkingDirectory(), GetModuleDirectory());
    // parent_path drops the trailing "/", which the Windows C runtime's stat refuses.
    EXPECT_TRUE(fs::equivalent(now, FsPath(GetModuleDirectory()).parent_path()))
        << "current folder was " << now.u8string() << " after the change";
}
