#include "PublishDir.h"

#include "InstallerProbeSupport.h"

#include "xStringOps.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

using namespace InstallerProbeSupport;

TEST(PublishFolderNames, PublishThenNumberedFoldersBesideIt)
{
    const std::pair<unsigned, const char*> cases[] = {{0, "Publish/"},
                                                      {1, "Publish0/"},
                                                      {2, "Publish1/"},
                                                      {11, "Publish10/"},
                                                      {PublishFolderAttempts - 1, "Publish99/"}};
    for (const auto& [attempt, name] : cases)
        EXPECT_EQ(Narrow(PublishFolderName(attempt)), name) << "attempt " << attempt;
}

namespace
{
class PublishClaims : public ProbeFolderTest
{
protected:
    xWString Base() const { return Wide(Root) + u"/"; }

    // A launcher (the probe) claiming a publish folder in `Launchers`, held until released.
    xProcessHandle& StartClaim(const fs::path& report)
    {
        if (Program.empty())
            Program = PlaceProbe(Launchers, "qtmx" + Narrow(ExecutableSuffix()));
        return Keep(StartProbe(Program,
                               "publish " + Quoted(Launchers) + " " + Quoted(report) + " " + Quoted(Release),
                               Launchers));
    }

    const fs::path Launchers = Root / "launcher";
    fs::path Program;
};

} // namespace

TEST_F(PublishClaims, FolderWithoutTrailingSeparatorAFileInTheWayAndNoFolder)
{
    std::ofstream(Root / "Publish").put('x');
    PublishClaim claim = ClaimPublishFolder(Wide(Root));
    EXPECT_EQ(claim.Folder, Base() + u"Publish0/") << "a file named Publish cannot hold the client";
    EXPECT_TRUE(fs::is_regular_file(Root / "Publish")) << "the file is left alone";

    // No base folder claims nothing.
    const PublishClaim none = ClaimPublishFolder(u"");
    EXPECT_TRUE(none.Folder.IsEmpty());
    EXPECT_EQ(none.Lock, nullptr);
    EXPECT_TRUE(ClaimPublishFolder(u"/../..").Folder.IsEmpty()) << "a climb out of the path is refused";
}

TEST_F(PublishClaims, ProcessClaimIsCachedAndItsLockCanBeClosed)
{
    const xWString claimed = PublishDirIn(Base());
    EXPECT_EQ(claimed, Base() + u"Publish/");
    EXPECT_EQ(PublishDirIn(Wide(Root / "other") + u"/"), claimed) << "decided once per process";
    EXPECT_FALSE(fs::exists(Root / "other"));

    PublishClaim whileHeld = ClaimPublishFolder(Base());
    EXPECT_EQ(whileHeld.Folder, Base() + u"Publish0/");
    ClosePublishLock();
    EXPECT_EQ(ClaimPublishFolder(Base()).Folder, Base() + u"Publish/") << "the process's lock was let go";
    EXPECT_EQ(PublishDir(), claimed) << "the folder stays cached";
}

TEST_F(PublishClaims, LaunchersRunningAtOnceClaimDifferentFolders)
{
    const std::string claimed = "claimed=" + Narrow(Wide(Launchers)) + "/";
    StartClaim(Root / "first.txt");
    EXPECT_TRUE(WaitForLine(Root / "first.txt", claimed + "Publish/"))
        << Joined(ReadFileLines(Root / "first.txt"));
    StartClaim(Root / "second.txt");
    EXPECT_TRUE(WaitForLine(Root / "second.txt", claimed + "Publish0/"))
        << "the first launcher holds Publish/:\n"
        << Joined(ReadFileLines(Root / "second.txt"));
    PublishClaim third = ClaimPublishFolder(Wide(Launchers));
    EXPECT_EQ(third.Folder, Wide(Launchers) + u"/Publish1/");
    EXPECT_TRUE(fs::exists(Launchers / "Publish1" / "PackageLock.ins"));
    third.Lock.reset();

    ReleaseProbes();
    for (xProcessHandle& probe : Probes)
        EXPECT_EQ(ExitCodeOf(probe), 0) << "the launcher quits with 0";
    EXPECT_EQ(ClaimPublishFolder(Wide(Launchers)).Folder, Wide(Launchers) + u"/Publish/")
        << "an ended launcher's lock is gone";
}

TEST_F(PublishClaims, SearchStopsAfterTheLastNumberedFolderAndQuits)
{
    fs::create_directories(Launchers);
    for (unsigned attempt = 0; attempt < PublishFolderAttempts; ++attempt)
    {
        const xWString name = PublishFolderName(attempt);
        std::ofstream(FsPath(Wide(Launchers) + u"/" + SubText(name, 0, name.Length() - 1))).put('x');
    }
    const fs::path report = Root / "report.txt";
    EXPECT_EQ(ExitCodeOf(StartClaim(report)), 0) << "it quits";

    const std::vector<std::string> lines = ReadFileLines(report);
    ASSERT_EQ(lines.size(), 2u) << "one error line and the notice, no claim:\n" << Joined(lines);
    EXPECT_EQ(lines[0].rfind("E PublishDir: no free publish folder", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("box=", 0), 0u) << lines[1];
    EXPECT_FALSE(fs::exists(Launchers / "Publish100")) << "nothing past the bound is tried";
}
