#include "xEngineFileSystem.h"
#include "xPath.h"
#include "xProcess.h"
#include "xProcessList.h"
#include "xSystemPaths.h"

#include "EngineText.h"
#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// The helper program that reports what it was started with; it sits beside us
// and carries our extension (".exe" or none).
xWString EchoProgram()
{
    return GetModuleDirectory() + u"ArgumentEcho" + GetExtension(GetModulePath());
}

// A fresh folder with a name outside ASCII, so that the current directory is
// handed over as real Unicode text.
class xProcessTest : public ::testing::Test
{
protected:
    TempFolder Temp{"xProcess-\xe6\xb5\x8b\xe8\xaf\x95"};
    const fs::path Folder = Temp.Path;
};
} // namespace

TEST(xProcessCommandLine, QuotedPathThenTheArgumentTextUnchangedAndSplitBack)
{
    EXPECT_EQ(BuildCommandLine(u"C:/x/game.exe", u"a b"), u"\"C:/x/game.exe\" a b");
    EXPECT_EQ(BuildCommandLine(u"C:/My Games/g.exe", u" \"x y\""), u"\"C:/My Games/g.exe\"  \"x y\"");
    // Split again: at blanks, while quotes group and disappear.
    using Pieces = std::vector<xString>;
    EXPECT_EQ(SplitArguments("  a\t\tb  "), (Pieces{"a", "b"}));
    EXPECT_EQ(SplitArguments("\"with blank\" pre\"mid dle\"post"), (Pieces{"with blank", "premid dlepost"}));
    EXPECT_EQ(SplitArguments("a \"\" b"), (Pieces{"a", "", "b"})) << "a pair of quotes is an empty argument";
    EXPECT_TRUE(SplitArguments("   ").empty());
}

TEST_F(xProcessTest, ChildReceivesTheArgumentsAndTheFolderItWasGiven)
{
    const fs::path report = Folder / "report.txt";
    // "Grüße" in UTF-16 so that it passes through no narrow code page.
    const xWString arguments = u"\"" + Wide(report) + u"\" plain \"with blank\" Gr\u00fc\u00dfe";
    uint32_t processId = 0;
    xProcessHandle process = StartProcess(EchoProgram(), arguments, Wide(Folder) + u"/", &processId);
    ASSERT_TRUE(process.IsValid()) << "could not start " << Narrow(EchoProgram());
    EXPECT_NE(processId, 0u);
    int exitCode = -1;
    ASSERT_TRUE(process.Wait(30000, &exitCode)) << "the child did not end";
    EXPECT_EQ(exitCode, 7) << "the exit code is the child's own";

    std::vector<std::string> lines = ReadFileLines(report);
    ASSERT_EQ(lines.size(), 4u) << "three arguments and the folder expected";
    ASSERT_EQ(lines[3].rfind("cwd=", 0), 0u);
    EXPECT_TRUE(fs::equivalent(fs::u8path(lines[3].substr(4)), Folder))
        << "child ran in " << lines[3].substr(4) << ", not in the folder it was given";
    lines.pop_back();
    EXPECT_EQ(lines, (std::vector<std::string>{"arg=plain", "arg=with blank", "arg=Gr\xc3\xbc\xc3\x9f\x65"}));
}

TEST_F(xProcessTest, FailedStartGivesNoHandleAndNoProcessId)
{
    uint32_t processId = 1234;
    xProcessHandle missing = StartProcess(Wide(Folder / "absent-program.exe"), u"x", xWString(), &processId);
    EXPECT_FALSE(missing.IsValid());
    EXPECT_EQ(processId, 0u);
    EXPECT_FALSE(missing.Wait(0)) << "a null handle has nothing to wait for";

    processId = 1234;
    const xWString report = Wide(Folder / "r.txt");
    xProcessHandle badFolder =
        StartProcess(EchoProgram(), u"\"" + report + u"\"", Wide(Folder / "none"), &processId);
    EXPECT_FALSE(badFolder.IsValid()) << "a folder that does not exist fails the start";
    EXPECT_EQ(processId, 0u);
    EXPECT_FALSE(fs::exists(Folder / "r.txt")) << "the child must not have run";
}

// What starts is the program checked through its held handle: while it is held
// nobody may rewrite it (even a writer that shares reading), and where the
// system lets its name be deleted or replaced, that changes nothing that runs.
TEST_F(xProcessTest, AHeldProgramIsTheFileThatStarts)
{
    const xEngineFileSystem files;
    const xWString program = Wide(Folder / "program") + GetExtension(EchoProgram());
    ASSERT_TRUE(files.Copy(program, EchoProgram()));
    const std::unique_ptr<xFileHandle> held = files.OpenProgram(program);
    ASSERT_TRUE(held) << "cannot open " << Narrow(program);
    EXPECT_FALSE(files.OpenWrite(program, false, true)) << "the held program can be rewritten";
    ASSERT_TRUE(WriteFileBytes(Folder / "impostor", "no program"));
    files.DeleteFile(program);
    files.MoveOver(program, Wide(Folder / "impostor"));

    const xWString report = Wide(Folder / "report.txt");
    xProcessHandle process =
        StartHeldProcess(*held, program, u"\"" + report + u"\" held", xWString(), nullptr);
    ASSERT_TRUE(process.IsValid()) << "the held program did not start";
    int exitCode = -1;
    ASSERT_TRUE(process.Wait(30000, &exitCode)) << "the child did not end";
    EXPECT_EQ(exitCode, 7);
    const std::vector<std::string> lines = ReadFileLines(Folder / "report.txt");
    ASSERT_FALSE(lines.empty()) << "the program that ran is not the held one";
    EXPECT_EQ(lines[0], "arg=held");
}

TEST(xProcessList, NamesRunningExecutablesByFileNameOnly)
{
    const xWString own = GetModulePath();
    const xWString ownName = Wide(fs::path(std::u16string(own.c_str(), own.Length())).filename());
    ASSERT_FALSE(ownName.IsEmpty());
    const std::vector<xWString> names = ListProcessExecutableNames();
    EXPECT_NE(std::find(names.begin(), names.end(), ownName), names.end())
        << "this test program runs as " << Narrow(ownName) << " among " << names.size() << " processes";
    for (const xWString& name : names)
    {
        EXPECT_FALSE(name.IsEmpty());
        EXPECT_EQ(std::u16string(name.c_str(), name.Length()).find_first_of(u"/\\"), std::u16string::npos)
            << "a bare file name, not a path: " << Narrow(name);
    }
}
