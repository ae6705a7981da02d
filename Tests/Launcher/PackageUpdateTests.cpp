#include "LauncherDownloadCase.h"

#include "CommandLine.h"
#include "LaunchState.h"
#include "PackageProgress.h"
#include "PackageUpdate.h"
#include "PackageWorker.h"
#include "PackageWorkerThread.h"
#include "PublishDir.h"
#include "QtmxProfile.h"

#include <chrono>
#include <string>
#include <vector>

// The version choice against the dev server, and the worker it starts.

namespace
{
// The product, with its client served by the test's dev server; steps are
// kept instead of sent.
class ServedProfile : public QtmxProfile
{
public:
    xString ClientBaseUrl() const override { return BaseUrl; }
    void ReportStep(const char* code) override { Reported.push_back(code); }
    xString BaseUrl;
    std::vector<std::string> Reported;
};

class PackageUpdateTest : public DownloadTestBase
{
protected:
    void SetUp() override
    {
        StartCase(PeerKind::DevServer);
        // The process's publish folder, claimed once, away from the build's files.
        PublishDirIn(Server->Root + u"launcher-tests/");
        TheLaunchState.Clear();
        ResetPackageProgress();
        Profile.BaseUrl = Url("").c_str();
        VersionResolutionPolicy quick;
        quick.Rounds = 4;
        quick.FirstPause = std::chrono::milliseconds(50);
        quick.LongestPause = std::chrono::milliseconds(100);
        SetVersionResolutionPolicy(quick);
        PackageRetryPolicy quickWorker;
        quickWorker.FirstPause = std::chrono::milliseconds(10);
        quickWorker.LongestPause = std::chrono::milliseconds(10);
        SetPackageRetryPolicy(quickWorker);
    }
    void TearDown() override
    {
        EXPECT_TRUE(ThePackageWorker().WaitUntilIdle(std::chrono::seconds(60)));
        SetVersionResolutionPolicy(VersionResolutionPolicy());
        SetPackageRetryPolicy(PackageRetryPolicy());
        TheLaunchState.Clear();
        DownloadTestBase::TearDown();
    }

    // Starts the update, lets the worker finish, and answers what was asked of the server.
    std::vector<std::string> Update()
    {
        DevServerRequests(true);
        StartPackageUpdateFor(xWString(), Profile, TheLaunchState);
        EXPECT_TRUE(ThePackageWorker().WaitUntilIdle(std::chrono::seconds(60)));
        return DevServerRequests(true);
    }
    bool Asked(const std::vector<std::string>& requests, const std::string& name)
    {
        for (const std::string& request : requests)
        {
            if (request.find(" " + Path(name) + " ") != std::string::npos)
                return true;
        }
        return false;
    }

    ServedProfile Profile;
};
} // namespace

TEST_F(PackageUpdateTest, ServerIdPicksItsVersionAndDefaultTheRest)
{
    Serve("ClientVersionSID.txt", BytesOf("7=1.0.4,junk,a=b=c,default=1.0.5,default=9\r\nsecond=line"));
    Profile.SidString = "7";
    std::vector<std::string> asked = Update();
    EXPECT_EQ("1.0.4", std::string(xString(CurrentVersion).c_str()));
    EXPECT_EQ("Startup1.0.4", std::string(PackageStem.c_str()));
    EXPECT_TRUE(Asked(asked, "Startup1.0.4.crc")) << "the worker asks for the manifest under the client URL";
    EXPECT_EQ(Url(""), std::string(PackageBaseUrl.c_str()));
    EXPECT_TRUE(Log.Contains("CurrentVersion: 1.0.4"));
    EXPECT_TRUE(Log.Contains("Download Version: "));
    EXPECT_EQ(1u, Log.MessagesStartingWith("E SidVersionError: junk").size());
    EXPECT_EQ(1u, Log.MessagesStartingWith("E SidVersionError: a=b=c").size());
    EXPECT_EQ(PackageUpdateStarted, PackageUpdateState.load()) << "no manifest there: the update stops";

    Profile.SidString = "8";
    asked = Update();
    EXPECT_EQ("1.0.5", std::string(xString(CurrentVersion).c_str())) << "the first default wins";
    EXPECT_TRUE(Asked(asked, "Startup1.0.5.crc"));
}

TEST_F(PackageUpdateTest, ForcedVersionAsksNoVersionFile)
{
    TheLaunchState.ForceVersion = u"2.0";
    const std::vector<std::string> asked = Update();
    EXPECT_FALSE(Asked(asked, "ClientVersionSID.txt"));
    EXPECT_TRUE(Asked(asked, "Startup2.0.crc"));
    EXPECT_TRUE(Log.Contains("Download Version: 2.0"));
}

TEST_F(PackageUpdateTest, NoDefaultVersionAsksAgainWithPausesThenGivesUp)
{
    Serve("ClientVersionSID.txt", BytesOf("7=1.0.4"));
    const auto start = std::chrono::steady_clock::now();
    const std::vector<std::string> asked = Update();
    const auto took = std::chrono::steady_clock::now() - start;

    size_t fetches = 0;
    for (const std::string& request : asked)
        fetches += request.rfind("GET " + Path("ClientVersionSID.txt"), 0) == 0 ? 1 : 0;
    EXPECT_EQ(4u, fetches);
    EXPECT_EQ(4u, Log.MessagesStartingWith("E SidVersionError: No default version").size());
    EXPECT_GE(took, std::chrono::milliseconds(50 + 100 + 100)) << "the rounds pause between them";
    EXPECT_EQ(1u, Log.MessagesStartingWith("E No client version from " + Url("ClientVersionSID.txt")).size());
    EXPECT_TRUE(CurrentVersion.IsEmpty());
    EXPECT_EQ(PackageUpdateIdle, PackageUpdateState.load()) << "the update is not started";
}

TEST_F(PackageUpdateTest, VersionThatCannotNameAFileIsRefused)
{
    Serve("ClientVersionSID.txt", BytesOf("default=../../evil"));
    const std::vector<std::string> asked = Update();
    EXPECT_EQ(1u, Log.MessagesStartingWith("E Client version \"../../evil\" cannot name a package").size());
    EXPECT_EQ(PackageUpdateIdle, PackageUpdateState.load());
    EXPECT_EQ(1u, asked.size()) << "only the version file was asked for";
}

TEST_F(PackageUpdateTest, CommandLineLoginUpdatesBeforeItReports)
{
    Serve("ClientVersionSID.txt", BytesOf("default=3.1"));
    DevServerRequests(true);
    ParseCommandLineText(u"qtmx.exe forcearg={sid=12&uid=34}", Profile);
    ASSERT_TRUE(ThePackageWorker().WaitUntilIdle(std::chrono::seconds(60)));
    EXPECT_TRUE(Asked(DevServerRequests(true), "Startup3.1.crc"));
    EXPECT_EQ(std::vector<std::string>{"1002"}, Profile.Reported);
    const std::vector<std::string> lines = Log.Messages();
    size_t version = lines.size();
    size_t parsed = lines.size();
    for (size_t i = 0; i < lines.size(); ++i)
    {
        if (lines[i].find("Download Version: ") != std::string::npos)
            version = i;
        if (lines[i].find("L_UidString=34") != std::string::npos)
            parsed = i;
    }
    EXPECT_LT(parsed, version) << "the launch parameter is parsed before the update starts";
}
