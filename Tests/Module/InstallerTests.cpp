#include "Installer.h"

#include "InstallerProbeSupport.h"

#include "xEngineFileSystem.h"
#include "xPath.h"
#include "xStringOps.h"
#include "xSystemPaths.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using namespace InstallerProbeSupport;

TEST(InstallKey, FromTheRunningFilesBaseName)
{
    const struct
    {
        const char16_t* Running;
        const char16_t* Key;
    } cases[] = {
        {u"C:/Users/p/Downloads/qtmx_vabcdefghijk.exe", u"vabcdefghijk"}, // twelve from the "v": all of them
        {u"QTMX_VABCDEFGHIJK", u"vabcdefghijk"},                          // lower-cased first
        // "-" becomes "_", but only four follow; the "_v" of the folder is not the file's.
        {u"D:/_vfolder_name_long/Game-VAbc.exe", u""},
        {u"qtmx_vabcdefghij", u""},                      // eleven: too short
        {u"qtmx_v0123456789abcdefghi", u"v0123456789a"}, // twenty from the "v": the first twelve
        {u"qtmx-vABCDEFGHIJK-x", u"vabcdefghijk"},       // "-" before the "v" and inside the rest
        {u"a_vx_vabcdefghijklm", u"vx_vabcdefgh"},       // the first "_v" counts
        {u"qtmxvabcdefghijklm", u""},                    // no "_v" at all
        {u"qtmx_abcdefghijklmnop", u""},
        {u"", u""},
        {u"_v", u""},
        {u"\u6e38\u620f_v\u00c4\u00e9\u6e38abcdefghij", u"v\u00c4\u00e9\u6e38abcdefgh"}, // only A-Z fold
    };
    for (const auto& c : cases)
        EXPECT_EQ(AutoLoginKeyFromBaseName(GetFileStem(xWString(c.Running))), xWString(c.Key))
            << "running file " << Narrow(c.Running);
}

// The install flows below check the usual target and flag names; these are the edges.
TEST(InstallTarget, NoTargetWithoutAppDataFlagsStayInTheFolderAndLetterCaseDoesNotCount)
{
    EXPECT_EQ(Narrow(InstallTargetPath(u"", u"kfcx/", u"qtmx")), "")
        << "an unknown application-data folder must not become a relative path";
    const InstallFlagPaths odd = InstallFlagPathsFor(u"C:/A/kfcx/", u"D:/dl/../..");
    EXPECT_EQ(Narrow(GetParentPath(odd.Installing)), "C:/A/kfcx/") << "an odd name stays inside the folder";
    EXPECT_EQ(Narrow(GetParentPath(odd.Installed)), "C:/A/kfcx/");

    // The same path in other letter case is the installed launcher.
    EXPECT_TRUE(IsSameLauncherPath(u"C:/Users/P/AppData/Roaming/KFCX/QTMX.EXE",
                                   u"c:/users/p/appdata/roaming/kfcx/qtmx.exe"));
    EXPECT_FALSE(IsSameLauncherPath(u"C:/kfcx/qtmx.exe", u"C:/kfcx/qtmx.exe2")) << "lengths differ";
    EXPECT_FALSE(IsSameLauncherPath(u"C:/kfcx/qtmx.exe", u"C:/kfcx/qtmy.exe"));
    EXPECT_FALSE(IsSameLauncherPath(u"C:/\u00c4/qtmx.exe", u"C:/\u00e4/qtmx.exe")) << "only A-Z fold";
    EXPECT_FALSE(IsSameLauncherPath(u"C:/\u6e38/qtmx.exe", u"C:/\u620f/qtmx.exe"));
}

TEST(InstallTarget, RunningPathIsTheFirstTokenInSlashForm)
{
    EXPECT_EQ(Narrow(RunningPathFromCommandLine(u"\"C:\\My Games\\qtmx_v1.exe\" autologinkey=x")),
              "C:/My Games/qtmx_v1.exe");
    EXPECT_EQ(Narrow(RunningPathFromCommandLine(u"C:\\dl\\qtmx.exe updating")), "C:/dl/qtmx.exe");
    EXPECT_EQ(Narrow(RunningPathFromCommandLine(u"/opt/qtmx.exe x")), "/opt/qtmx.exe");
    // Started by a relative name: the module's own path, which is absolute.
    const xWString module = ToForwardSlashes(GetModulePath());
    EXPECT_EQ(Narrow(RunningPathFromCommandLine(u"qtmx.exe updating")), Narrow(module));
    EXPECT_EQ(Narrow(RunningPathFromCommandLine(u"games\\qtmx.exe")), Narrow(module));
    EXPECT_EQ(Narrow(RunningPathFromCommandLine(u"")), Narrow(module));
    EXPECT_TRUE(IsAbsoluteLauncherPath(module));
}

TEST(LauncherProcessNames, FileNameIsTheLastComponentAndEitherNameCountsOnce)
{
    EXPECT_EQ(Narrow(LauncherFileName(u"C:/a/qtmx.exe")), "qtmx.exe");
    EXPECT_EQ(Narrow(LauncherFileName(u"C:\\a\\b c.exe")), "b c.exe");
    EXPECT_EQ(Narrow(LauncherFileName(u"qtmx.exe")), "") << "a path without a separator has no name";
    EXPECT_EQ(Narrow(LauncherFileName(u"C:qtmx.exe")), "");

    // Either name counts, exactly, and each process once.
    const std::vector<xWString> names = {u"qtmx_v1.exe",  u"qtmx.exe",    u"QTMX.EXE",
                                         u"explorer.exe", u"qtmx_v1.exe", u"qtmx.ex"};
    EXPECT_EQ(CountMatchingNames(names, u"qtmx_v1.exe", u"qtmx.exe"), 3);
    EXPECT_EQ(CountMatchingNames(names, u"qtmx.exe", u"qtmx.exe"), 1) << "one name, each process once";
    EXPECT_EQ(CountMatchingNames(names, u"Qtmx.exe", u"nothing.exe"), 0) << "letter case matters";
    EXPECT_EQ(CountMatchingNames({}, u"qtmx.exe", u"qtmx.exe"), 0);
}

namespace
{
using LauncherProcessCount = ProbeFolderTest;

class InstallFlow : public ProbeFolderTest
{
protected:
    // Runs the probe as an installing launcher; its report lines, exit code kept.
    std::vector<std::string> RunInstall(const fs::path& program, const std::string& runningOverride = {})
    {
        const fs::path report = Root / "install-report.txt";
        fs::remove(report);
        std::string arguments = "install " + Quoted(AppData) + " " + Quoted(report);
        if (!runningOverride.empty())
            arguments += " " + runningOverride;
        xProcessHandle probe = StartProbe(program, arguments, program.parent_path());
        ExitCode = ExitCodeOf(probe);
        return ReadFileLines(report);
    }

    // The installed copy in `folder` was started with these arguments, in that folder.
    static void ExpectCopyStarted(const fs::path& folder, const std::vector<std::string>& arguments)
    {
        const fs::path report = folder / "started.txt";
        const auto cwdLast = [&]
        {
            const std::vector<std::string> lines = ReadFileLines(report);
            return !lines.empty() && lines.back().rfind("cwd=", 0) == 0;
        };
        ASSERT_TRUE(WaitUntil(cwdLast, std::chrono::seconds(20))) << "the copy was not started";
        std::vector<std::string> lines = ReadFileLines(report);
        std::error_code error;
        EXPECT_TRUE(fs::equivalent(fs::u8path(lines.back().substr(4)), folder, error))
            << "the copy runs in its folder: " << lines.back();
        lines.pop_back();
        EXPECT_EQ(lines, arguments);
    }

    // The probe under `stem` plus this platform's program suffix, in `folder` under the root.
    fs::path Probe(const std::string& stem, const char* folder = "download") const
    {
        return PlaceProbe(Root / folder, stem + Narrow(ExecutableSuffix()));
    }

    const fs::path Download = Root / "download";
    const fs::path AppData = Root / "appdata";
    const fs::path InstallFolder = AppData / "kfcx";
    int ExitCode = -2;
};

// A name no earlier run left a process of.
std::string Unique(const char* prefix)
{
    return prefix + std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
}
} // namespace

TEST_F(LauncherProcessCount, CountsRunningProbesByEitherName)
{
    const std::string name = Unique("qtmx_count") + Narrow(ExecutableSuffix());
    const fs::path program = PlaceProbe(Root / "count", name);
    const xWString running = Wide(program);
    const xWString other = u"C:/elsewhere/not-running.exe";
    ASSERT_EQ(CountLauncherProcesses(running, other), 0) << "nothing of that name runs yet";

    const auto counted = [&](int count)
    {
        return WaitUntil([&] { return CountLauncherProcesses(running, other) == count; },
                         std::chrono::seconds(10));
    };
    Keep(StartProbe(program, "wait " + Quoted(Release), Root));
    EXPECT_TRUE(counted(1));
    Keep(StartProbe(program, "wait " + Quoted(Release), Root));
    EXPECT_TRUE(counted(2)) << "two probes run";
    EXPECT_EQ(CountLauncherProcesses(other, running), 2) << "the install target's name counts too";

    ReleaseProbes();
    for (xProcessHandle& probe : Probes)
        EXPECT_EQ(ExitCodeOf(probe), 0);
    EXPECT_TRUE(counted(0)) << "ended probes are not counted";
}

TEST_F(InstallFlow, CopiesFlagsStartsTheCopyWithTheKeyAndQuits)
{
    const fs::path program = Probe("qtmx_vabcdefghijk");
    // A flag alone, left by a launcher long gone, does not make it give way.
    fs::create_directories(InstallFolder);
    std::ofstream(InstallFolder / "qtmx_vabcdefghijk.installing") << "left by a launcher long gone";

    const std::vector<std::string> report = RunInstall(program);
    EXPECT_EQ(ExitCode, 0) << Joined(report);
    EXPECT_TRUE(HasLine(report, "Installed")) << Joined(report);
    EXPECT_FALSE(HasLine(report, "returned"));
    ASSERT_TRUE(fs::exists(InstallFolder / "qtmx.exe"));
    EXPECT_EQ(fs::file_size(InstallFolder / "qtmx.exe"), fs::file_size(program)) << "a whole copy";
    ASSERT_TRUE(fs::exists(InstallFolder / "qtmx_vabcdefghijk.install"));
    EXPECT_EQ(fs::file_size(InstallFolder / "qtmx_vabcdefghijk.install"), 0u);
    EXPECT_EQ(fs::file_size(InstallFolder / "qtmx_vabcdefghijk.installing"), 0u) << "the flag is rewritten";
    ExpectCopyStarted(InstallFolder, {"arg=autologinkey=vabcdefghijk"});
}

TEST_F(InstallFlow, ShortKeyStartsTheCopyWithoutArguments)
{
    const std::vector<std::string> report = RunInstall(Probe("Game-VAbc"));
    EXPECT_EQ(ExitCode, 0);
    EXPECT_TRUE(HasLine(report, "Installed")) << Joined(report);
    EXPECT_TRUE(fs::exists(InstallFolder / "Game-VAbc.installing"));
    ExpectCopyStarted(InstallFolder, {});
}

TEST_F(InstallFlow, GivesWayToALauncherAlreadyInstalling)
{
    const std::string name = Unique("qtmx_vgiveway");
    const fs::path program = Probe(name);
    fs::create_directories(InstallFolder);
    std::ofstream(InstallFolder / (name + ".installing")).put('x');
    Keep(StartProbe(program, "wait " + Quoted(Release), Root));
    ASSERT_TRUE(WaitUntil([&] { return CountLauncherProcesses(Wide(program), u"/x/qtmx.exe") == 1; },
                          std::chrono::seconds(10)));

    const std::vector<std::string> report = RunInstall(program);
    EXPECT_EQ(ExitCode, 0) << "it quits";
    EXPECT_TRUE(HasLine(report, "Already installed 2")) << Joined(report);
    EXPECT_FALSE(fs::exists(InstallFolder / "qtmx.exe")) << "nothing is copied";
    EXPECT_FALSE(fs::exists(InstallFolder / (name + ".install")));
}

TEST_F(InstallFlow, QuitsWhenAnotherLauncherHoldsTheInstallingFlag)
{
    const std::string name = Unique("qtmx_vheld");
    const fs::path program = Probe(name);
    fs::create_directories(InstallFolder);
    xEngineFileSystem files;
    std::unique_ptr<xFile> held = files.OpenWrite(Wide(InstallFolder / (name + ".installing")), false, false);
    ASSERT_NE(held, nullptr);

    const std::vector<std::string> report = RunInstall(program);
    EXPECT_EQ(ExitCode, 0) << "it quits";
    EXPECT_TRUE(HasLine(report, "InstallFlagFile Failed")) << Joined(report);
    EXPECT_FALSE(fs::exists(InstallFolder / "qtmx.exe")) << "nothing is copied";
}

TEST_F(InstallFlow, FallsBackBesideTheRunningFileWhenTheInstallFolderCannotBeMadeAndThatCopyStaysPut)
{
    const fs::path program = Probe("qtmx_vabcdefghijk");
    // A file where the product's folder belongs: the folder cannot be created.
    fs::create_directories(AppData);
    std::ofstream(InstallFolder).put('x');

    const std::vector<std::string> report = RunInstall(program);
    EXPECT_EQ(ExitCode, 0) << Joined(report);
    EXPECT_TRUE(HasLine(report, "Installed")) << Joined(report);
    EXPECT_TRUE(fs::exists(Download / "qtmx.exe"));
    EXPECT_FALSE(fs::exists(Download / "qtmx_vabcdefghijk.installing")) << "no flags in the fall-back";
    EXPECT_FALSE(fs::exists(Download / "qtmx_vabcdefghijk.install"));
    ExpectCopyStarted(Download, {"arg=autologinkey=vabcdefghijk"});

    // The fall-back copy, started on its own, is where it belongs: it goes on.
    fs::remove(Download / "started.txt");
    EXPECT_TRUE(HasLine(RunInstall(PlaceProbe(Download, "qtmx.exe")), "returned"));
    EXPECT_EQ(ExitCode, 3) << "InstallLauncher returned";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(fs::exists(Download / "started.txt")) << "the copy was started again";
}

TEST_F(InstallFlow, CopyThatCannotStartShowsTheNoticeAndQuits)
{
    // The running file is data under a program's name: it copies, but will not run.
    fs::create_directories(Download);
    const fs::path data = Download / "qtmx_vabcdefghijk.exe";
    std::ofstream(data, std::ios::binary) << "not a program";
    const fs::path program = Probe("probe", "probe");

    const std::vector<std::string> report = RunInstall(program, Quoted(data));
    EXPECT_EQ(ExitCode, 0) << "it quits after the notice: " << Joined(report);
    EXPECT_TRUE(HasLine(report, "InstallFailed")) << Joined(report);
    EXPECT_TRUE(HasLine(report, "box=测试游戏微端|微端安装错误，请重新下载微端？"))
        << "caption: the game title and \"micro-client\"; the install error text:\n"
        << Joined(report);
    EXPECT_TRUE(fs::exists(InstallFolder / "qtmx.exe")) << "the copy was made";
}

TEST_F(InstallFlow, NothingHappensWhenRunningFromTheTargetInOtherLetterCase)
{
    const fs::path program = Probe("probe", "probe");
    const std::string running = Narrow(Wide(AppData)) + "\\KFCX\\QTMX.EXE";
    const std::vector<std::string> report = RunInstall(program, "\"" + running + "\"");
    EXPECT_EQ(ExitCode, 3) << "InstallLauncher returned";
    EXPECT_EQ(report, std::vector<std::string>{"returned"}) << "nothing logged, no flag:\n" << Joined(report);
    EXPECT_FALSE(fs::exists(AppData)) << "no folder, flag or copy may be made";
}

TEST_F(InstallFlow, FailedCopyLogsInstallFailedAndLetsTheFlagGo)
{
    const fs::path program = Probe("probe", "probe");
    const std::vector<std::string> report =
        RunInstall(program, Quoted(Root / "gone" / "qtmx_vabcdefghijk.exe"));
    EXPECT_EQ(ExitCode, 3) << "the launcher goes on from where it was started";
    EXPECT_EQ(report, (std::vector<std::string>{"InstallFailed", "returned", "installing=free"}))
        << "the flag is closed when the launcher goes on:\n"
        << Joined(report);
    EXPECT_FALSE(fs::exists(InstallFolder / "qtmx.exe"));
    EXPECT_TRUE(fs::exists(InstallFolder / "qtmx_vabcdefghijk.install"));
    EXPECT_TRUE(fs::exists(InstallFolder / "qtmx_vabcdefghijk.installing"));
}
