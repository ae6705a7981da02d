#include "CapturedLog.h"
#include "LaunchState.h"
#include "StepReport.h"

#include "xBackgroundWork.h"
#include "xWorkerPool.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>

#if !defined(_WIN32)
#include <cstdlib>
#include <stdlib.h>
#include <unistd.h>
#endif

TEST(StepReport, DataListsTheLaunchValuesThenTheStepEscaped)
{
    const LaunchValueMap values = {{u"sid", u"12"}, {u"time", u"0"}, {u"uid", u"34"}};
    EXPECT_EQ(std::string(StepReportData(values, "1002", 1700000000).c_str()),
              "sid%3a12%2ctime%3a1700000000%2cuid%3a34%2cstep%3a1002")
        << "time is the current clock, not the value of the login";
    EXPECT_EQ(std::string(StepReportData({}, "1013", 5).c_str()), "step%3a1013");
    EXPECT_EQ(std::string(StepReportData({{u"n", u"a b#\u4E2D%41"}}, "1014", 0).c_str()),
              "n%3aa%20b%23%e4%b8%ad%41%2cstep%3a1014")
        << "what would break the request line is escaped; the rest goes as parsed";
}

TEST(StepReport, CodesGoOnceAndOnlyAfterALogin)
{
    LaunchState state;
    ReportedSteps.clear();
    ReportStepOn("1004", state, nullptr, "127.0.0.1", 9);
    EXPECT_TRUE(ReportedSteps.empty()) << "before a launch parameter nothing is remembered";
    state.LaunchParamParsed = true;
    ReportStepOn("1004", state, nullptr, "127.0.0.1", 9);
    ReportStepOn("1004", state, nullptr, "127.0.0.1", 9);
    EXPECT_EQ(1u, ReportedSteps.count("1004"));
    ReportedSteps.clear();
}

#if !defined(_WIN32)
namespace
{
// A dev server with its statistics endpoint, started from the folder of the tests.
class StatisticsServer
{
public:
    StatisticsServer()
    {
        char folder[] = "/tmp/step-report-XXXXXX";
        Folder = mkdtemp(folder);
        LogPath = Folder + "/stats.log";
        const std::string command = "exec \"" + BinFolder() + "/devserver\" --root " + Folder +
                                    " --port 0 --stats-port 0 --stats-log " + LogPath + " 2>/dev/null";
        Pipe = popen(command.c_str(), "r");
        char line[256];
        while (Pipe && std::fgets(line, sizeof line, Pipe))
        {
            unsigned port = 0;
            if (std::sscanf(line, "stats listening on 127.0.0.1:%u", &port) == 1)
            {
                Port = static_cast<uint16_t>(port);
                break;
            }
        }
    }
    ~StatisticsServer()
    {
        if (Pipe)
        {
            std::system(("pkill -f -- '--stats-log " + LogPath + "'").c_str());
            pclose(Pipe);
        }
        std::system(("rm -rf " + Folder).c_str());
    }
    std::string Received(size_t lines) const
    {
        for (int i = 0; i < 200; ++i)
        {
            std::ifstream file(LogPath);
            std::string text, line;
            size_t count = 0;
            while (std::getline(file, line))
            {
                text += line + "\n";
                ++count;
            }
            if (count >= lines)
                return text;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return {};
    }
    static std::string BinFolder()
    {
        char path[4096] = {};
        const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
        std::string exe(path, length > 0 ? static_cast<size_t>(length) : 0);
        return exe.substr(0, exe.rfind('/'));
    }

    std::string Folder;
    std::string LogPath;
    FILE* Pipe = nullptr;
    uint16_t Port = 0;
};
} // namespace

TEST(StepReport, ReportsReachTheEndpointInOrderOncePerCode)
{
    StatisticsServer server;
    ASSERT_NE(0, server.Port) << "the dev server's statistics endpoint did not start";
    CapturedLog log;
    LaunchState state;
    state.LaunchValues = {{u"sid", u"7"}, {u"uid", u"3"}};
    state.LaunchParamParsed = true;
    ReportedSteps.clear();
    xBackgroundWork* work = new xBackgroundWork(); // lives on, as in the launcher
    xWorkerPool* pool = work->GetPool(xBackgroundWork::DownloadPoolSlot);
    ReportStepOn("1002", state, pool, "127.0.0.1", server.Port);
    state.LaunchValues.emplace(u"cversion", u"1.0.5"); // a later login must not reach the first report
    ReportStepOn("1002", state, pool, "127.0.0.1", server.Port);
    ReportStepOn("1013", state, pool, "127.0.0.1", server.Port);
    EXPECT_EQ(server.Received(2), "sid%3a7%2cuid%3a3%2cstep%3a1002\n"
                                  "cversion%3a1.0.5%2csid%3a7%2cuid%3a3%2cstep%3a1013\n");
    EXPECT_EQ(1u, log.MessagesStartingWith("stat step url: http://127.0.0.1:" + std::to_string(server.Port) +
                                           "/plugin_watch.htm?data=sid%3a7%2cuid%3a3%2cstep%3a1002")
                      .size());
    ReportedSteps.clear();
}
#endif
