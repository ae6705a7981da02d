#include "CapturedLog.h"
#include "CommandLine.h"
#include "InternetSessions.h"
#include "EngineText.h"
#include "LaunchState.h"
#include "PackageUpdate.h"
#include "PackageWorkerThread.h"
#include "QtmxProfile.h"

#include "xCommandLine.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace
{
// Keeps the reported codes instead of sending them (a report task would outlive
// the test's logger on the background pool); no update server answers here.
class RecordingProfile : public QtmxProfile
{
public:
    xString ClientBaseUrl() const override { return "http://127.0.0.1:9/"; }
    xString LauncherUpdateBaseUrl() const override { return "http://127.0.0.1:9/"; }
    void ReportStep(const char* code) override { Reported.push_back(code); }
    std::vector<std::string> Reported;
};

class CommandLineTest : public testing::Test
{
protected:
    // A login asks for the client version once.
    void SetUp() override
    {
        TheLaunchState.Clear();
        SetVersionResolutionPolicy({1, std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
    }
    void TearDown() override
    {
        // A login's update asks for its version on the worker's thread.
        EXPECT_TRUE(ThePackageWorker().WaitUntilIdle(std::chrono::seconds(60)));
        TheLaunchState.Clear();
        SetVersionResolutionPolicy(VersionResolutionPolicy());
    }

    void Parse(const char16_t* arguments)
    {
        ParseCommandLineText(xWString(u"\"C:/Games/qtmx.exe\" ") + arguments, Profile);
    }

    CapturedLog Log;
    RecordingProfile Profile;
};

std::vector<xWString> Arguments(const xCommandLine& line)
{
    std::vector<xWString> found;
    for (size_t i = 0; i < line.ArgumentCount(); ++i)
        found.push_back(line.Argument(i));
    return found;
}
} // namespace

// Token order, kinds and the out-of-range argument are FuzzCommandLine's checks; here the splits themselves.
TEST(xCommandLine, SplitsWordsAndQuotedTextsAndSkipsTheProgram)
{
    struct Case
    {
        const char16_t* Line;
        std::vector<xWString> Expected;
    } cases[] = {
        {u"\"C:/Program Files/qtmx.exe\"  -log  plain \"two words\" x\"y",
         {u"-log", u"plain", u"two words", u"x\"y"}},
        {u"\"C:/a b/qtmx.exe\"", {}},
        {u"\"never closed", {}},
        {u"qtmx \"runs to the end", {u"runs to the end"}},
        {u"qtmx \"\" \"\" -", {u"", u"", u"-"}},
        {u"qtmx \"", {u""}},
    };
    for (const Case& test : cases)
        EXPECT_EQ(test.Expected, Arguments(xCommandLine(test.Line, true)))
            << xString(xWString(test.Line)).c_str();
    EXPECT_EQ(2u, xCommandLine(u"a b", false).ArgumentCount()) << "the first word kept";
    xWString huge(u"qtmx");
    for (int i = 0; i < 20000; ++i)
        huge += u" \"\u4E2D\" -";
    EXPECT_EQ(40000u, xCommandLine(huge, true).ArgumentCount());
}

// The launch parameter, from forcearg= or given whole, read piece by piece.
TEST_F(CommandLineTest, LaunchParameterComesFromTheForcedArgumentPieceByPiece)
{
    Parse(u"forcearg={sid=12&uid=34&time=0}");
    EXPECT_EQ(Profile.LaunchParam, u"sid:12,uid:34,time:0");
    EXPECT_EQ(Profile.SidString, "12");
    EXPECT_EQ(TheLaunchState.UidString, "34");
    xWString keys;
    for (const auto& entry : TheLaunchState.LaunchValues)
        keys += entry.first + u"=" + entry.second + u";";
    EXPECT_EQ(keys, u"sid=12;time=0;uid=34;") << "launch values are ordered by key";
    EXPECT_TRUE(TheLaunchState.LaunchParamParsed);
    EXPECT_FALSE(TheLaunchState.CommandLineHandled) << "only an auto-login key's parameter marks it";
    EXPECT_TRUE(Profile.Reported.empty()) << "no version, so no update started and no step reported";
    EXPECT_EQ(NormaliseForcedArgument(u"{\"sid\"=1&a\\b=2}"), u"sid:1,ab:2");

    TheLaunchState.Clear();
    Profile.ParseLaunchParam(u"sid:1,a:b:c,nocolon,cversion:2.0.1,sid:9");
    EXPECT_EQ(Log.MessagesStartingWith("E failed to parse arg: "),
              (std::vector<std::string>{"E failed to parse arg: ", "E failed to parse arg: a:b:c",
                                        "E failed to parse arg: nocolon", "E failed to parse arg: "}))
        << "the trailing comma leaves one empty piece each time";
    EXPECT_EQ(TheLaunchState.LaunchValues[u"sid"], u"1") << "the first value of a key stays";
    EXPECT_EQ(Profile.SidString, "9") << "the server id follows the latest piece";
    EXPECT_EQ(Profile.ClientVersion, "2.0.1");
    EXPECT_EQ(TheLaunchState.ForceVersion, u"2.0.1");
    EXPECT_TRUE(Log.Contains("ClientVersion=2.0.1"));

    Profile.ParseLaunchParam(u"{uid=7&%41=x y}");
    EXPECT_EQ(TheLaunchState.UidString, "7");
    EXPECT_EQ(TheLaunchState.LaunchValues[u"%41"], u"x y") << "values are taken as they stand";
}

TEST_F(CommandLineTest, OptionsMatchWithoutCaseValuesKeepTheirsAndEmptyValuesDoNothing)
{
    Parse(u"autologinkey= forcearg= forceversion= localmodex");
    EXPECT_TRUE(Log.Messages().empty()) << "first line: " << Log.Messages()[0];
    EXPECT_TRUE(Profile.LaunchParam.IsEmpty());
    EXPECT_TRUE(TheLaunchState.ForceVersion.IsEmpty());
    EXPECT_FALSE(TheLaunchState.LocalMode);

    Parse(u"AutoLoginKey=AbC FORCEVERSION=V1.2b LocalMode ClientInstall updating2");
    EXPECT_TRUE(Log.Contains("autologinkey=AbC"));
    EXPECT_EQ(TheLaunchState.ForceVersion, u"V1.2b");
    EXPECT_TRUE(TheLaunchState.LocalMode);
    EXPECT_TRUE(TheLaunchState.ClientInstall);
    EXPECT_FALSE(TheLaunchState.LaunchParamParsed);
    EXPECT_TRUE(Profile.Reported.empty()) << "a short auto-login key asks nothing and reports nothing";

    Parse(u"MaxRate=300");
    EXPECT_EQ(DownloadSession()->ReadCap().BytesPerSecond(), 300u * 1024u);
    Parse(u"maxrate=3x");
    EXPECT_TRUE(Log.Contains("E maxrate= takes KiB/s from 0 to 1048576; the option is ignored"));
    EXPECT_EQ(DownloadSession()->ReadCap().BytesPerSecond(), 300u * 1024u);
    Parse(u"maxrate=0");
    EXPECT_FALSE(DownloadSession()->ReadCap().IsCapped());
}

// Which check a login's update makes: verify anywhere on the line (before a
// login on it too) asks for the full check, else the profile's switch decides.
TEST_F(CommandLineTest, VerifyAndTheProfileSwitchAskForTheFullCheck)
{
    class EveryLoginProfile : public RecordingProfile
    {
    public:
        bool VerifiesEveryLogin() const override { return true; }
    } everyLogin;
    const struct
    {
        const char16_t* Arguments;
        const ProductProfile& Profile;
        FullCheckCause Expected;
    } cases[] = {
        {u"", Profile, FullCheckCause::None},
        {u"verifyx maxrate=0", Profile, FullCheckCause::None},
        {u"Verify", Profile, FullCheckCause::Asked},
        {u"forcearg={sid=1} VERIFY", Profile, FullCheckCause::Asked},
        {u"", everyLogin, FullCheckCause::EveryLogin},
        {u"verify", everyLogin, FullCheckCause::Asked},
    };
    for (const auto& c : cases)
    {
        TheLaunchState.Clear();
        Parse(c.Arguments);
        EXPECT_EQ(c.Expected, FullCheckFor(TheLaunchState, c.Profile))
            << xString(xWString(c.Arguments)).c_str();
    }
    EXPECT_TRUE(Log.Contains("Verify On: the client check reads every file"));
}

// Which self-update work follows the options. Here the check finds no server,
// the "updating" stage finds no version in the test program's name and the
// "updated" stage no versioned copy, so each only leaves its first line.
TEST_F(CommandLineTest, TheFirstArgumentChoosesTheSelfUpdateStage)
{
    const char* const markers[] = {"checking new version", "Run updating", "Run Updated"};
    const struct
    {
        const char16_t* arguments;
        const char* expected; // null: none of the markers
        bool handled = false; // an auto-login key has given the launch parameter
    } cases[] = {
        {u"", "checking new version"},
        {u"updating", "Run updating"},
        {u"Updating 1234", "Run updating"},
        {u"UPDATED", "Run Updated"},
        {u"updated 1234", "Run Updated"},
        {u"updating2", nullptr},
        {u"localmode updating", nullptr},
        {u"clientinstall", nullptr},
        {u"verify", nullptr},
        {u"updating", nullptr, true},
        {u"", nullptr, true},
    };
    for (const auto& c : cases)
    {
        TheLaunchState.Clear();
        TheLaunchState.CommandLineHandled = c.handled;
        const size_t before = Log.Messages().size();
        Parse(c.arguments);
        const std::vector<std::string> lines = Log.Messages(before);
        for (const char* marker : markers)
        {
            const bool logged = std::find(lines.begin(), lines.end(), marker) != lines.end();
            EXPECT_EQ(logged, c.expected != nullptr && std::string(c.expected) == marker)
                << "arguments \"" << xString(xWString(c.arguments)).c_str() << "\" handled " << c.handled
                << ", line " << marker;
        }
        EXPECT_FALSE(TheLaunchState.SelfUpdateRunning);
    }
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>

namespace
{
class RefusingProfile : public QtmxProfile
{
public:
    bool AcceptArguments(const std::vector<xWString>&) override { return false; }
    xString LauncherUpdateBaseUrl() const override { return "http://127.0.0.1:9/"; }
};
} // namespace

TEST_F(CommandLineTest, RefusedArgumentsEndTheProcessWithExitCodeZero)
{
    RefusingProfile refusing;
    EXPECT_EXIT(ParseCommandLineText(u"qtmx localmode", refusing), testing::ExitedWithCode(0), "");
    ParseCommandLineText(u"qtmx", refusing); // no arguments: nothing to refuse
}

// A launcher update that finds no thread for its download is given up with an
// error line, and start-up goes on as usual: neither the end of the process
// (std::terminate) nor a splash screen that waits for ever.
TEST_F(CommandLineTest, NoThreadForTheLauncherUpdateLeavesAnOrdinaryStart)
{
    const auto withoutThreads = [this]
    {
        // No new thread for this process's user (root first becomes nobody,
        // whom the limit binds).
        if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0))
            std::_Exit(2);
        const rlimit none{0, 0};
        if (setrlimit(RLIMIT_NPROC, &none) != 0)
            std::_Exit(3);
        const bool started = StartSelfUpdate("http://127.0.0.1:9/", 1000002);
        const bool logged = Log.Contains("E Launcher update failed: no thread could be created; the launcher "
                                         "starts as usual");
        std::_Exit(!started && !TheLaunchState.SelfUpdateRunning && logged ? 0 : 1);
    };
    // A fresh child: a forked one would inherit threads that sanitizers count.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(withoutThreads(), testing::ExitedWithCode(0), "");
}
#endif
