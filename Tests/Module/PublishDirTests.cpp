#include "PublishDir.h"

#include "InstallerProbeSupport.h"

#include "xStringOps.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace InstallerProbeSupport;

TEST(PublishFolderNames, PublishThenNumberedFoldersBesideIt)
{
    EXPECT_EQ(Narrow(PublishFolderName(0)), "Publish/");
    EXPECT_EQ(Narrow(PublishFolderName(1)), "Publish0/");
    EXPECT_EQ(Narrow(PublishFolderName(2)), "Publish1/");
    EXPECT_EQ(Narrow(PublishFolderName(11)), "Publish10/");
    EXPECT_EQ(Narrow(PublishFolderName(PublishFolderAttempts - 1)), "Publish99/") << "the last one tried";
}

namespace
{
class PublishClaims : public ProbeFolderTest
{
protected:
    xWString Base() const { return Wide(Root) + u"/"; }
    std::string Expected(const char* name) const { return Narrow(Base() + Utf8ToWide(name)); }
};
} // namespace

TEST_F(PublishClaims, EachHolderGetsTheNextFreeFolder)
{
    PublishClaim first = ClaimPublishFolder(Base());
    PublishClaim second = ClaimPublishFolder(Base());
    PublishClaim third = ClaimPublishFolder(Base());
    EXPECT_EQ(Narrow(first.Folder), Expected("Publish/"));
    EXPECT_EQ(Narrow(second.Folder), Expected("Publish0/")) << "Publish/ is held";
    EXPECT_EQ(Narrow(third.Folder), Expected("Publish1/"));
    EXPECT_TRUE(fs::exists(Root / "Publish" / "PackageLock.ins"));
    EXPECT_TRUE(fs::exists(Root / "Publish1" / "PackageLock.ins"));

    first.Lock.reset();
    PublishClaim again = ClaimPublishFolder(Base());
    EXPECT_EQ(Narrow(again.Folder), Expected("Publish/")) << "a released folder is free again";
}

TEST_F(PublishClaims, FolderWithoutTrailingSeparatorAndAFileInTheWay)
{
    std::ofstream(Root / "Publish").put('x');
    PublishClaim claim = ClaimPublishFolder(Wide(Root));
    EXPECT_EQ(Narrow(claim.Folder), Expected("Publish0/")) << "a file named Publish cannot hold the client";
    EXPECT_TRUE(fs::is_regular_file(Root / "Publish")) << "the file is left alone";
}

TEST_F(PublishClaims, NoBaseFolderClaimsNothing)
{
    const PublishClaim claim = ClaimPublishFolder(u"");
    EXPECT_TRUE(claim.Folder.IsEmpty());
    EXPECT_EQ(claim.Lock, nullptr);
    EXPECT_TRUE(ClaimPublishFolder(u"/../..").Folder.IsEmpty()) << "a climb out of the path is refused";
}

TEST_F(PublishClaims, ProcessClaimIsCachedAndItsLockCanBeClosed)
{
    const xWString claimed = PublishDirIn(Base());
    EXPECT_EQ(Narrow(claimed), Expected("Publish/"));
    EXPECT_EQ(Narrow(PublishDirIn(Wide(Root / "other") + u"/")), Narrow(claimed))
        << "decided once per process";
    EXPECT_FALSE(fs::exists(Root / "other"));

    PublishClaim whileHeld = ClaimPublishFolder(Base());
    EXPECT_EQ(Narrow(whileHeld.Folder), Expected("Publish0/"));
    ClosePublishLock();
    PublishClaim afterClose = ClaimPublishFolder(Base());
    EXPECT_EQ(Narrow(afterClose.Folder), Expected("Publish/")) << "the process's lock was let go";
    EXPECT_EQ(Narrow(PublishDir()), Narrow(claimed)) << "the folder stays cached";
}

TEST_F(PublishClaims, LaunchersRunningAtOnceClaimDifferentFolders)
{
    const fs::path program = PlaceProbe(Root / "launcher", "qtmx" + Narrow(ExecutableSuffix()));
    const fs::path base = Root / "launcher";
    const auto startClaim = [&](const char* reportName)
    {
        const fs::path report = Root / reportName;
        Keep(StartProbe(program, "publish " + Quoted(base) + " " + Quoted(report) + " " + Quoted(Release),
                        base));
        std::string claimed;
        WaitUntil(
            [&]
            {
                for (const std::string& line : ReadLines(report))
                {
                    if (line.rfind("claimed=", 0) == 0)
                        claimed = line.substr(8);
                }
                return !claimed.empty();
            },
            std::chrono::seconds(20));
        return claimed;
    };
    const std::string baseText = Narrow(Wide(base)) + "/";
    EXPECT_EQ(startClaim("first.txt"), baseText + "Publish/");
    EXPECT_EQ(startClaim("second.txt"), baseText + "Publish0/") << "the first launcher holds Publish/";
    PublishClaim third = ClaimPublishFolder(Wide(base));
    EXPECT_EQ(Narrow(third.Folder), baseText + "Publish1/");
    third.Lock.reset();

    ReleaseProbes();
    for (xProcessHandle& probe : Probes)
        EXPECT_EQ(ExitCodeOf(probe), 0) << "the launcher quits with 0";
    PublishClaim afterwards = ClaimPublishFolder(Wide(base));
    EXPECT_EQ(Narrow(afterwards.Folder), baseText + "Publish/") << "an ended launcher's lock is gone";
}

TEST_F(PublishClaims, SearchStopsAfterTheLastNumberedFolderAndQuits)
{
    const fs::path base = Root / "launcher";
    fs::create_directories(base);
    for (unsigned attempt = 0; attempt < PublishFolderAttempts; ++attempt)
    {
        const xWString name = PublishFolderName(attempt);
        std::ofstream(base / fs::u8path(Narrow(SubText(name, 0, name.Length() - 1)))).put('x');
    }
    const fs::path program = PlaceProbe(base, "qtmx" + Narrow(ExecutableSuffix()));
    const fs::path report = Root / "report.txt";
    xProcessHandle probe =
        StartProbe(program, "publish " + Quoted(base) + " " + Quoted(report) + " " + Quoted(Release), base);
    EXPECT_EQ(ExitCodeOf(probe), 0) << "it quits";

    const std::vector<std::string> lines = ReadLines(report);
    ASSERT_EQ(lines.size(), 2u) << "one error line and the notice, no claim:\n" << Joined(lines);
    EXPECT_EQ(lines[0].rfind("E PublishDir: no free publish folder", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("box=", 0), 0u) << lines[1];
    EXPECT_FALSE(fs::exists(base / "Publish100")) << "nothing past the bound is tried";
}
