#include "LaunchState.h"
#include "LauncherDownloadCase.h"
#include "StepReport.h"

#include "xBackgroundWork.h"
#include "xWorkerPool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>

TEST(StepReport, DataListsTheLaunchValuesThenTheStepEscaped)
{
    const LaunchValueMap values = {{u"sid", u"12"}, {u"time", u"0"}, {u"uid", u"34"}};
    EXPECT_EQ(StepReportData(values, "1002", 1700000000),
              "sid%3a12%2ctime%3a1700000000%2cuid%3a34%2cstep%3a1002")
        << "time is the current clock, not the value of the login";
    EXPECT_EQ(StepReportData({}, "1013", 5), "step%3a1013");
    EXPECT_EQ(StepReportData({{u"n", u"a b#\u4E2D%41"}}, "1014", 0), "n%3aa%20b%23%e4%b8%ad%41%2cstep%3a1014")
        << "what would break the request line is escaped; the rest goes as parsed";
}

namespace
{
// The statistics log's lines, once it has at least `count` of them (5 s at most).
std::vector<std::string> StatsLines(const TestServer& server, size_t count)
{
    std::vector<std::string> lines = ReadFileLines(FsPath(server.StatsLog));
    for (int i = 0; i < 100 && lines.size() < count; ++i)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        lines = ReadFileLines(FsPath(server.StatsLog));
    }
    return lines;
}
} // namespace

TEST(StepReport, ReportsReachTheEndpointInOrderOncePerCodeAndOnlyAfterALogin)
{
    const TestServer& server = GetTestServer(PeerKind::DevServer);
    if (!server.Available)
        GTEST_SKIP() << "dev server not available: " << server.Problem;
    ASSERT_NE(0, server.StatsPort) << "the dev server runs without its statistics endpoint";
    const size_t before = StatsLines(server, 0).size();
    CapturedLog log;
    LaunchState state;
    state.LaunchValues = {{u"sid", u"7"}, {u"uid", u"3"}};
    ReportedSteps.clear();
    xBackgroundWork* work = new xBackgroundWork(); // lives on, as in the launcher
    xWorkerPool* pool = work->GetPool(xBackgroundWork::DownloadPoolSlot);
    // Before a launch parameter nothing is sent, nor remembered: the code goes once the login came.
    ReportStepOn("1002", state, pool, "127.0.0.1", server.StatsPort);
    EXPECT_TRUE(ReportedSteps.empty()) << "a step before the login was remembered";
    state.LaunchParamParsed = true;
    ReportStepOn("1002", state, pool, "127.0.0.1", server.StatsPort);
    state.LaunchValues.emplace(u"cversion", u"1.0.5"); // a later login must not reach the first report
    ReportStepOn("1002", state, pool, "127.0.0.1", server.StatsPort);
    ReportStepOn("1013", state, pool, "127.0.0.1", server.StatsPort);
    const std::vector<std::string> lines = StatsLines(server, before + 2);
    const std::vector<std::string> expected{"sid%3a7%2cuid%3a3%2cstep%3a1002",
                                            "cversion%3a1.0.5%2csid%3a7%2cuid%3a3%2cstep%3a1013"};
    ASSERT_GE(lines.size(), before);
    EXPECT_EQ(std::vector<std::string>(lines.begin() + static_cast<ptrdiff_t>(before), lines.end()),
              expected);
    EXPECT_EQ(1u,
              log.MessagesStartingWith("stat step url: http://127.0.0.1:" + std::to_string(server.StatsPort) +
                                       "/plugin_watch.htm?data=sid%3a7%2cuid%3a3%2cstep%3a1002")
                  .size());
    ReportedSteps.clear();
}
