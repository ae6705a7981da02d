#include "LauncherDownloadCase.h"

#include "EngineText.h"

#include "CommandLine.h"
#include "LaunchState.h"
#include "PackageProgress.h"
#include "PackageUpdate.h"
#include "PackageWorker.h"
#include "PackageWorkerThread.h"
#include "UpdateContext.h"
#include "PublishDir.h"
#include "QtmxProfile.h"
#include "SignedVersionFile.h"
#include "UpdateRetry.h"
#include "UpdateSignature.h"

#include "xHttp.h"
#include "xPlatformTime.h"

#include <algorithm>
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

// The process's context, as the launcher's worker uses it: the progress of a
// fresh process.
void ClearProgress()
{
    PackageProgress& progress = TheUpdateContext().Progress;
    progress.PackageUpdateState = PackageUpdateIdle;
    progress.PackageFailureReason = PackageFailureNone;
    progress.PackageBytesNeeded = 0;
    progress.PackageBytesReceived = 0;
}

class PackageUpdateTest : public DownloadTestBase
{
protected:
    void SetUp() override
    {
        StartCase(PeerKind::DevServer);
        if (IsSkipped() || HasFatalFailure())
            return;
        // The process's publish folder, claimed once, away from the build's files.
        PublishDirIn(Server->Root + u"launcher-tests/");
        TheLaunchState.Clear();
        ClearProgress();
        TheUpdateContext().DownloadFolder = OutFolder();
        Profile.BaseUrl = Url("").c_str();
        SetVersionResolutionPolicy({4, std::chrono::milliseconds(50), std::chrono::milliseconds(100)});
        // The product's attempts, short pauses.
        TheUpdateContext().RetryPolicy = {3, 10, 3, std::chrono::milliseconds(10),
                                          std::chrono::milliseconds(10)};
    }
    void TearDown() override
    {
        xHttpAllowRequestsOnEveryThread();
        EXPECT_TRUE(ThePackageWorker().WaitUntilIdle(std::chrono::seconds(60)));
        SetVersionResolutionPolicy(VersionResolutionPolicy());
        TheUpdateContext().RetryPolicy = PackageRetryPolicy();
        TheUpdateContext().DownloadFolder = xWString();
        TheLaunchState.Clear();
        DownloadTestBase::TearDown();
    }

    ServedProfile Profile;
};
} // namespace

// A command-line login starts the update after its parameter is read and reports
// step 1002 only then; one that never starts ends Failed. A version file without
// the entry is asked again, with pauses.
TEST_F(PackageUpdateTest, CommandLineLoginReportsOnlyAnUpdateThatStarts)
{
    struct Case
    {
        const char* VersionFile;
        const char16_t* Arguments;
        size_t VersionFileGets;
        const char* Manifest; // asked for when the update starts
        std::string LogLine;  // the start of one line of the log
    } cases[] = {
        // The server id's entry of the first line; the worker asks under the client URL.
        {"12=1.0.4,default=1.0.5\r\n8=second line", u"", 1, "Startup1.0.4.crc", "CurrentVersion: 1.0.4"},
        {"default=3.1", u"", 1, "Startup3.1.crc", "CurrentVersion: 3.1"},
        {"default=3.1", u"forceversion=2.0 ", 0, "Startup2.0.crc", "Download Version: 2.0"},
        {"7=3.1", u"", 4, nullptr, "E No client version from " + Url("ClientVersionSID.txt")},
        {"default=../../evil", u"", 1, nullptr, "E Client version \"../../evil\" cannot name a package"},
        {"default=3.1", u"forceversion=a/b ", 0, nullptr, "E Client version \"a/b\" cannot name a package"},
    };
    const auto count = [](const std::vector<std::string>& lines, const std::string& start)
    {
        return static_cast<size_t>(std::count_if(
            lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(start, 0) == 0; }));
    };
    for (const Case& test : cases)
    {
        SCOPED_TRACE(test.LogLine);
        Serve("ClientVersionSID.txt", test.VersionFile);
        TheLaunchState.Clear();
        ClearProgress();
        Profile.Reported.clear();
        const size_t earlier = Log.Messages().size();
        DevServerRequests(true);
        const auto start = std::chrono::steady_clock::now();
        ParseCommandLineText(xWString(u"qtmx.exe ") + test.Arguments + u"forcearg={sid=12&uid=34}", Profile);
        ASSERT_TRUE(ThePackageWorker().WaitUntilIdle(std::chrono::seconds(60)));
        if (test.VersionFileGets > 1)
        {
            EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50 + 100 + 100))
                << "the rounds pause between them";
        }
        // What the frame's tick does: the step goes out once the update has begun.
        ReportBegunLoginStep(Profile);
        const std::vector<std::string> asked = DevServerRequests(true);
        EXPECT_EQ(test.VersionFileGets, count(asked, "GET " + Path("ClientVersionSID.txt")));
        const auto manifest = [&](const std::string& r)
        { return r.find(" " + Path(test.Manifest) + " ") != r.npos; };
        EXPECT_TRUE(test.Manifest != nullptr ? std::any_of(asked.begin(), asked.end(), manifest)
                                             : asked.size() == test.VersionFileGets)
            << "the manifest when the update starts, else nothing but the version file";
        EXPECT_EQ(test.Manifest != nullptr ? std::vector<std::string>{"1002"} : std::vector<std::string>{},
                  Profile.Reported);
        EXPECT_EQ(PackageUpdateFailed, TheUpdateContext().Progress.PackageUpdateState.load())
            << "no manifest is served, or none asked for";
        const std::vector<std::string> lines = Log.Messages(earlier);
        EXPECT_EQ(1u, count(lines, test.LogLine));
        const auto parsed = std::find(lines.begin(), lines.end(), "L_UidString=34");
        const auto started =
            std::find_if(lines.begin(), lines.end(),
                         [](const std::string& line) { return line.rfind("Download Version: ", 0) == 0; });
        EXPECT_LT(parsed, started) << "the launch parameter is parsed before the update starts";
    }
}

// The login returns while the server has not answered: the version is learned
// on the worker's thread, the splash says it is connecting meanwhile, and the
// window thread sends nothing (here this thread plays it, so a request from it
// would be refused).
TEST_F(PackageUpdateTest, LoginReturnsWhileTheServerIsSilent)
{
    Serve("ClientVersionSID.txt", "default=3.1");
    // The first answer never comes; the worker's next round gets the file.
    ASSERT_TRUE(SetDevServerFaults("stall-after=0&for-path=ClientVersionSID.txt&times=1"));
    DownloadSession()->SetTimeouts(0, 1000);
    xHttpForbidRequestsOnThisThread();
    ParseCommandLineText(u"qtmx.exe forcearg={sid=12&uid=34}", Profile);
    EXPECT_TRUE(ThePackageWorker().IsBusy()) << "the login waited for the version";
    EXPECT_TRUE(CurrentVersion.Get().IsEmpty());
    // Idle or started: the splash says it is connecting (ChooseSplashView's table).
    EXPECT_LE(TheUpdateContext().Progress.PackageUpdateState.load(), PackageUpdateStarted);
    ReportBegunLoginStep(Profile);
    EXPECT_TRUE(Profile.Reported.empty()) << "step 1002 before the update began";
    ASSERT_TRUE(ThePackageWorker().WaitUntilIdle(std::chrono::seconds(60)));
    EXPECT_EQ(CurrentVersion.Get(), u"3.1");
    EXPECT_EQ("Startup3.1", Std(PackageStem.Get()));
    ReportBegunLoginStep(Profile);
    EXPECT_EQ(std::vector<std::string>{"1002"}, Profile.Reported);
    EXPECT_FALSE(Log.Contains("E HTTP request refused: the window thread must not wait on the network"));
}

namespace
{
// The same against the signed updates of Support/make-signed-updates.sh, with
// the launcher holding key a: stamps and forced versions.
class SignedPackageUpdateTest : public PackageUpdateTest
{
protected:
    void SetUp() override
    {
        PackageUpdateTest::SetUp();
        if (IsSkipped() || HasFatalFailure())
            return;
        const SignedUpdates& signedUpdates = GetSignedUpdates();
        if (!signedUpdates.Available)
            GTEST_SKIP() << "no signed updates: " << signedUpdates.Problem;
        Root = signedUpdates.Root;
        const std::string key = Fixture("key-a/update-key.pub");
        std::vector<uint8_t> point;
        ASSERT_TRUE(ParseUpdatePublicKey(xString(key.substr(0, key.find('\n')).c_str()), point));
        SetUpdateVerifier(UpdateVerifier(point));
    }
    void TearDown() override
    {
        SetUpdateVerifier(UpdateVerifier());
        PackageUpdateTest::TearDown();
    }
    std::string Fixture(const std::string& path) const
    {
        return ReadFileBytes(FsPath(Root + Utf8ToWide(path.c_str())));
    }
    void ServeSigned(const std::string& name, const std::string& path)
    {
        Serve(name, Fixture(path));
        Serve(name + ".sig", Fixture(path + ".sig"));
    }
    std::string Installed(const std::string& name) const
    {
        return ReadFileBytes(FsPath(PublishDir() + Utf8ToWide(name.c_str())));
    }

    xWString Root;
};
} // namespace

// With a key, a version named without a signature is taken only when the
// signed version file lists it; else the client stays as it was installed, and
// the failed update waits for its retry. A refused version file names no version
// (SignedUpdateCaseTest's VersionFile rows), and a login without one starts no
// update (CommandLineLoginReportsOnlyAnUpdateThatStarts).
TEST_F(SignedPackageUpdateTest, OnlyListedVersionsAndFreshFilesUpdateTheClient)
{
    ServeSigned("Startup1.0.5.crc", "a/Startup1.0.5.crc");
    Serve("Startup1.0.5.pkg", Fixture("a/Startup1.0.5.pkg"));
    const struct
    {
        const char* VersionFile;
        const char16_t* Arguments;
        bool Updates;
        const char* Refusal;
    } rows[] = {
        {"a/ClientVersionSID.txt", u"forceversion=1.0.5 forcearg={sid=12}", true, nullptr},
        {"a/ClientVersionSID.txt", u"forceversion=1.0.6 forcearg={sid=12}", false,
         "E Client version \"1.0.6\" was named without a signature"},
        {"a/ClientVersionSID.txt", u"forcearg={sid=12&cversion=1.0.6}", false,
         "E Client version \"1.0.6\" was named without a signature"},
    };
    for (const auto& row : rows)
    {
        SCOPED_TRACE(xString(xWString(row.Arguments)).c_str());
        TheLaunchState.Clear();
        ServeSigned("ClientVersionSID.txt", row.VersionFile);
        DevServerRequests(true);
        const size_t earlier = Log.Messages().size();
        ParseCommandLineText(xWString(u"qtmx.exe ") + row.Arguments, Profile);
        ASSERT_TRUE(ThePackageWorker().WaitUntilIdle(std::chrono::seconds(60)));
        EXPECT_EQ(row.Updates ? PackageUpdateDone : PackageUpdateFailed,
                  TheUpdateContext().Progress.PackageUpdateState.load());
        const std::vector<std::string> asked = DevServerRequests(true);
        EXPECT_EQ(row.Updates,
                  std::any_of(asked.begin(), asked.end(),
                              [](const std::string& r) { return r.find("Startup1.0.5.crc ") != r.npos; }));
        for (const char* name : {"data/settings.ini", "data/text.txt", "noise.bin"})
            EXPECT_EQ(Fixture(std::string("client/") + name), Installed(name))
                << name << " is not as installed";
        const std::vector<std::string> lines = Log.Messages(earlier);
        EXPECT_EQ(row.Refusal != nullptr,
                  std::any_of(lines.begin(), lines.end(),
                              [&](const std::string& line)
                              { return row.Refusal && line.rfind(row.Refusal, 0) == 0; }));
    }
    // A failed update is tried again later, as any.
    UpdateRetry retry;
    EXPECT_FALSE(retry.Tick(xPlatformTime::Seconds(), TheUpdateContext().Progress.PackageUpdateState));
    EXPECT_EQ(30, retry.SecondsLeft(xPlatformTime::Seconds()));
    EXPECT_EQ(20u, LoadAcceptedSerial(TheUpdateContext())) << "the good file's serial is remembered";
}
