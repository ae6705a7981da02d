#include "CapturedLog.h"
#include "CommandLine.h"
#include "LaunchState.h"
#include "PackageUpdate.h"
#include "QtmxProfile.h"

#include "xCommandLine.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace
{
std::string Utf8(const xWString& text)
{
    return std::string(xString(text).c_str());
}

// Keeps the reported codes instead of sending them: a report task would outlive
// the test's logger on the background pool.
class RecordingProfile : public QtmxProfile
{
public:
    void ReportStep(const char* code) override { Reported.push_back(code); }
    std::vector<std::string> Reported;
};

class CommandLineTest : public testing::Test
{
protected:
    // A login asks for the client version once; no update server answers here.
    void SetUp() override
    {
        TheLaunchState.Clear();
        SetVersionResolutionPolicy({1, std::chrono::milliseconds(0), std::chrono::milliseconds(0)});
    }
    void TearDown() override
    {
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
} // namespace

TEST(xCommandLine, SplitsOptionsWordsAndQuotedTexts)
{
    const xCommandLine line(u"\"C:/Program Files/qtmx.exe\"  -log  plain \"two words\" x\"y", true);
    ASSERT_EQ(4u, line.ArgumentCount());
    EXPECT_EQ(Utf8(line.Argument(0)), "-log");
    EXPECT_EQ(xCommandLine::Option, line.Kind(0));
    EXPECT_EQ(Utf8(line.Argument(1)), "plain");
    EXPECT_EQ(xCommandLine::Plain, line.Kind(1));
    EXPECT_EQ(Utf8(line.Argument(2)), "two words");
    EXPECT_EQ(xCommandLine::Quoted, line.Kind(2));
    EXPECT_EQ(Utf8(line.Argument(3)), "x\"y") << "a quote inside a word does not start a quoted text";
    EXPECT_EQ(Utf8(line.Argument(4)), "") << "out of range gives the empty text";
}

TEST(xCommandLine, ProgramNameIsSkippedQuotedOrNot)
{
    EXPECT_EQ(0u, xCommandLine(u"qtmx.exe", true).ArgumentCount());
    EXPECT_EQ(0u, xCommandLine(u"\"C:/a b/qtmx.exe\"", true).ArgumentCount());
    const xCommandLine plain(u"C:/x/qtmx.exe localmode", true);
    ASSERT_EQ(1u, plain.ArgumentCount());
    EXPECT_EQ(Utf8(plain.Argument(0)), "localmode");
    EXPECT_EQ(2u, xCommandLine(u"a b", false).ArgumentCount());
}

TEST(xCommandLine, OddLinesNeverBreakTheTokenizer)
{
    EXPECT_EQ(0u, xCommandLine(u"", true).ArgumentCount());
    EXPECT_EQ(0u, xCommandLine(u"\"never closed", true).ArgumentCount());
    const xCommandLine open(u"qtmx \"runs to the end", true);
    ASSERT_EQ(1u, open.ArgumentCount());
    EXPECT_EQ(Utf8(open.Argument(0)), "runs to the end");
    const xCommandLine empties(u"qtmx \"\" \"\" -", true);
    ASSERT_EQ(3u, empties.ArgumentCount());
    EXPECT_EQ(Utf8(empties.Argument(0)), "");
    EXPECT_EQ(xCommandLine::Option, empties.Kind(2));
    const xCommandLine trailing(u"qtmx \"", true);
    ASSERT_EQ(1u, trailing.ArgumentCount());
    EXPECT_EQ(Utf8(trailing.Argument(0)), "");

    xWString huge(u"qtmx");
    for (int i = 0; i < 20000; ++i)
        huge += u" \"\u4E2D\" -";
    EXPECT_EQ(40000u, xCommandLine(huge, true).ArgumentCount());
}

TEST_F(CommandLineTest, ForcedArgumentBecomesTheLaunchParameter)
{
    Parse(u"forcearg={sid=12&uid=34&time=0}");
    EXPECT_EQ(Utf8(Profile.LaunchParam), "sid:12,uid:34,time:0");
    EXPECT_EQ(std::string(Profile.SidString.c_str()), "12");
    EXPECT_EQ(std::string(TheLaunchState.UidString.c_str()), "34");
    std::string keys;
    for (const auto& entry : TheLaunchState.LaunchValues)
        keys += Utf8(entry.first) + "=" + Utf8(entry.second) + ";";
    EXPECT_EQ(keys, "sid=12;time=0;uid=34;") << "launch values are ordered by key";
    EXPECT_TRUE(TheLaunchState.LaunchParamParsed);
    EXPECT_EQ(std::vector<std::string>{"1002"}, Profile.Reported) << "a command-line login is reported";
    EXPECT_TRUE(Log.Contains("ForceArg: sid:12,uid:34,time:0"));
    EXPECT_TRUE(Log.Contains("SidString=12"));
    EXPECT_TRUE(Log.Contains("L_UidString=34"));
    EXPECT_EQ(1u, Log.MessagesStartingWith("E failed to parse arg: ").size())
        << "the trailing comma leaves one empty piece";
}

TEST_F(CommandLineTest, OptionsMatchWithoutCaseAndValuesKeepTheirs)
{
    Parse(u"AutoLoginKey=AbC FORCEVERSION=V1.2b LocalMode ClientInstall updating2");
    EXPECT_TRUE(Log.Contains("autologinkey=AbC"));
    EXPECT_EQ(Utf8(TheLaunchState.ForceVersion), "V1.2b");
    EXPECT_TRUE(Log.Contains("ForceVersion=V1.2b"));
    EXPECT_TRUE(TheLaunchState.LocalMode);
    EXPECT_TRUE(Log.Contains("LocalMode On"));
    EXPECT_TRUE(TheLaunchState.ClientInstall);
    EXPECT_FALSE(TheLaunchState.LaunchParamParsed);
    EXPECT_TRUE(Profile.Reported.empty()) << "a short auto-login key asks nothing and reports nothing";
}

TEST_F(CommandLineTest, OptionsWithoutValueDoNothing)
{
    Parse(u"autologinkey= forcearg= forceversion= localmodex");
    EXPECT_TRUE(Log.Messages().empty()) << "first line: " << Log.Messages()[0];
    EXPECT_TRUE(Profile.LaunchParam.IsEmpty());
    EXPECT_TRUE(TheLaunchState.ForceVersion.IsEmpty());
    EXPECT_FALSE(TheLaunchState.LocalMode);
}

TEST_F(CommandLineTest, ForcedArgumentIsNormalised)
{
    EXPECT_EQ(Utf8(NormaliseForcedArgument(u"{\"sid\"=1&a\\b=2}")), "sid:1,ab:2");
}

TEST_F(CommandLineTest, LaunchParameterPiecesAreCheckedOneByOne)
{
    Profile.ParseLaunchParam(u"sid:1,a:b:c,nocolon,cversion:2.0.1,sid:9");
    EXPECT_TRUE(Log.Contains("E failed to parse arg: a:b:c"));
    EXPECT_TRUE(Log.Contains("E failed to parse arg: nocolon"));
    EXPECT_EQ(3u, Log.MessagesStartingWith("E failed to parse arg: ").size());
    EXPECT_EQ(Utf8(TheLaunchState.LaunchValues[u"sid"]), "1") << "the first value of a key stays";
    EXPECT_EQ(std::string(Profile.SidString.c_str()), "9") << "the server id follows the latest piece";
    EXPECT_EQ(std::string(Profile.ClientVersion.c_str()), "2.0.1");
    EXPECT_EQ(Utf8(TheLaunchState.ForceVersion), "2.0.1");
    EXPECT_TRUE(Log.Contains("ClientVersion=2.0.1"));

    Profile.ParseLaunchParam(u"{uid=7&%41=x y}");
    EXPECT_EQ(std::string(TheLaunchState.UidString.c_str()), "7");
    EXPECT_EQ(Utf8(TheLaunchState.LaunchValues[u"%41"]), "x y") << "values are taken as they stand";
}

#if GTEST_HAS_DEATH_TEST && !defined(_WIN32)
namespace
{
class RefusingProfile : public QtmxProfile
{
public:
    bool AcceptArguments(const std::vector<xWString>&) override { return false; }
};
} // namespace

TEST_F(CommandLineTest, RefusedArgumentsEndTheProcessWithExitCodeZero)
{
    RefusingProfile refusing;
    EXPECT_EXIT(ParseCommandLineText(u"qtmx localmode", refusing), testing::ExitedWithCode(0), "");
    ParseCommandLineText(u"qtmx", refusing); // no arguments: nothing to refuse
}
#endif
