#include "LauncherDownloadCase.h"

#include "EngineText.h"

#include "CommandLine.h"
#include "LaunchState.h"
#include "PackageProgress.h"
#include "PackageUpdate.h"
#include "PackageWorker.h"
#include "PackageWorkerThread.h"
#include "PublishDir.h"
#include "QtmxProfile.h"

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
        SetVersionResolutionPolicy({4, std::chrono::milliseconds(50), std::chrono::milliseconds(100)});
        // The product's attempts, short pauses.
        SetPackageRetryPolicy({3, 10, 3, std::chrono::milliseconds(10), std::chrono::milliseconds(10)});
    }
    void TearDown() override
    {
        EXPECT_TRUE(ThePackageWorker().WaitUntilIdle(std::chrono::seconds(60)));
        SetVersionResolutionPolicy(VersionResolutionPolicy());
        SetPackageRetryPolicy(PackageRetryPolicy());
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
        ResetPackageProgress();
        Profile.Reported.clear();
        const size_t earlier = Log.Messages().size();
        DevServerRequests(true);
        const auto start = std::chrono::steady_clock::now();
        ParseCommandLineText(xWString(u"qtmx.exe ") + test.Arguments + u"forcearg={sid=12&uid=34}", Profile);
        if (test.VersionFileGets > 1)
        {
            EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(50 + 100 + 100))
                << "the rounds pause between them";
        }
        ASSERT_TRUE(ThePackageWorker().WaitUntilIdle(std::chrono::seconds(60)));
        const std::vector<std::string> asked = DevServerRequests(true);
        EXPECT_EQ(test.VersionFileGets, count(asked, "GET " + Path("ClientVersionSID.txt")));
        const auto manifest = [&](const std::string& r)
        { return r.find(" " + Path(test.Manifest) + " ") != r.npos; };
        EXPECT_TRUE(test.Manifest != nullptr ? std::any_of(asked.begin(), asked.end(), manifest)
                                             : asked.size() == test.VersionFileGets)
            << "the manifest when the update starts, else nothing but the version file";
        EXPECT_EQ(test.Manifest != nullptr ? std::vector<std::string>{"1002"} : std::vector<std::string>{},
                  Profile.Reported);
        EXPECT_EQ(PackageUpdateFailed, PackageUpdateState.load())
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
