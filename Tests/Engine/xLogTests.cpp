#include "xEngineContext.h"
#include "xLocalTime.h"
#include "xLog.h"
#include "xLogFileTarget.h"
#include "xLogLine.h"
#include "xLogTypes.h"

#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// The logger takes UTF-8 paths with forward slashes.
xString Utf8(const TempFolder& folder, const std::string& name)
{
    return xString(folder.At(name).generic_u8string().c_str());
}

// Log files are text streams: Windows ends their lines in CR LF.
#if defined(_WIN32)
const std::string LineEnd = "\r\n";
#else
const std::string LineEnd = "\n";
#endif
bool StartsWithTimestamp(const std::string& text)
{
    static const std::regex shape(R"(^\[\d{4}-\d\d-\d\d \d\d:\d\d:\d\d\.\d\d\] )");
    return std::regex_search(text, shape);
}

// Records what the logger hands to a target; targets may share one journal so
// that the order between them shows.
class RecordingTarget : public xLogTarget
{
public:
    RecordingTarget(const char* name, std::vector<std::string>& journal)
        : xLogTarget(u"recording"), TargetName(name), Journal(journal)
    {
    }
    void Write(const xString& prefix, LogLevel level, LogCategory category, int foreground, int background,
               const xString& message) override
    {
        Journal.push_back(TargetName + "|" + prefix.c_str() + "|" + std::to_string(static_cast<int>(level)) +
                          "|" + std::to_string(static_cast<int>(category)) + "|" +
                          std::to_string(foreground) + "|" + std::to_string(background) + "|" +
                          message.c_str());
    }

private:
    std::string TargetName;
    std::vector<std::string>& Journal;
};

// A logger on real files, made the way the platform start-up makes it.
struct FileLogger
{
    FileLogger(const TempFolder& folder, const std::string& base, bool singleFile = true)
    {
        Context.LogBasePath = Utf8(folder, base);
        Context.LogSingleFile = singleFile;
        xLog::Create(Context);
    }
    ~FileLogger() { delete Context.Logger; }
    void Line(LogLevel level, LogCategory category, const char* message, int timestamp = 0)
    {
        xLog::Print(Context.Logger, timestamp, level, category, 0, 0, "%s", message);
    }
    xEngineContext Context;
};

} // namespace

// The launcher logs to one file and never to a console (its start-up leaves LogConsole off); the
// level words are read back from the log files below.
TEST(xLogTypes, RoutingAndTimestamps)
{
    for (uint32_t value = 0; value < 8; ++value)
        EXPECT_EQ(value >= 2 && value <= 5, LevelGoesToFile(static_cast<LogLevel>(value)))
            << "level " << value;

    // The time stamp of a fixed time.
    xLocalTime time{2024, 3, 9, 4, 7, 50, 250};
    EXPECT_STREQ("[2024-03-09 04:07:50.25] ", FormatLogTimestamp(time).c_str());
    time.Second = 7;
    EXPECT_STREQ("[2024-03-09 04:07:07.25] ", FormatLogTimestamp(time).c_str()) << "seconds padded to five";
    time = xLocalTime{987, 3, 9, 4, 7, 9, 5};
    EXPECT_STREQ("[0987-03-09 04:07:09.01] ", FormatLogTimestamp(time).c_str()) << "5 ms rounds up";
}

TEST(xLogPrint, RoutesByLevel)
{
    std::vector<std::string> journal;
    xLog logger;
    logger.FileTarget = std::make_unique<RecordingTarget>("file", journal);
    xLog::Print(&logger, 0, LogLevel::Warning, LogCategory::Rd, ColourGreen, ColourDarkBlue, "disk %d%%", 97);
    xLog::Print(&logger, 0, LogLevel::Debug, LogCategory::Ui, 0, 0, "debug");
    xLog::Print(&logger, 0, static_cast<LogLevel>(6), LogCategory::General, 0, 0, "nowhere");
    EXPECT_EQ(std::vector<std::string>{"file|Warning:  |3|2|12|3|disk 97%\n"}, journal);

    xLog::Print(nullptr, 1, LogLevel::Error, LogCategory::General, 0, 0, "null logger");
    xLog empty;
    xLog::Print(&empty, 1, LogLevel::Error, LogCategory::General, 0, 0, "no targets");
}

TEST(xLogPrint, LongMessageIsCutAtAWholeUtf8Sequence)
{
    std::string chinese;
    for (int i = 0; i < 1700; ++i)
        chinese += "\xE4\xB8\xAD"; // U+4E2D, 5100 bytes in all
    std::vector<std::string> journal;
    xLog logger;
    logger.FileTarget = std::make_unique<RecordingTarget>("c", journal);
    xLog::Print(&logger, 0, LogLevel::Log, LogCategory::General, 0, 0, "%s", chinese.c_str());
    xLog::Print(&logger, 0, LogLevel::Log, LogCategory::General, 0, 0, "%s", std::string(5000, 'a').c_str());
    ASSERT_EQ(2u, journal.size());
    // 2047 bytes of room hold 682 whole characters; the line feed follows.
    EXPECT_EQ("c|Log:      |2|0|0|0|" + chinese.substr(0, 2046) + "\n", journal[0]);
    EXPECT_EQ("c|Log:      |2|0|0|0|" + std::string(2047, 'a') + "\n", journal[1]);
}

TEST(xLogFile, NewRunTruncatesAndLinesAreFlushedAsWritten)
{
    TempFolder folder("xLogTests");
    FileLogger(folder, "Launcher").Line(LogLevel::Log, LogCategory::General, "first run, a longer line");
    FileLogger log(folder, "Launcher");
    EXPECT_EQ("", ReadFileBytes(folder.At("Launcher.txt"))) << "opening alone empties the file";
    EXPECT_TRUE(log.Context.Logger->FileTarget->GetName() == xWString(log.Context.LogBasePath));
    log.Line(LogLevel::Log, LogCategory::General, "checking new version", 1);
    log.Line(LogLevel::Warning, LogCategory::General, "already ends\n", 2);
    log.Line(LogLevel::Error, LogCategory::General, "");
    log.Line(LogLevel::Critical, LogCategory::General, "after the empty one");
    // Read while the stream is open: every line is flushed at once.
    const std::string text = ReadFileBytes(folder.At("Launcher.txt"));
    const std::vector<std::string> lines = SplitLines(text);
    ASSERT_EQ(3u, lines.size()) << text;
    EXPECT_TRUE(StartsWithTimestamp(lines[0])) << lines[0];
    EXPECT_EQ("Log:      checking new version", lines[0].substr(25));
    EXPECT_EQ("Warning:  already ends", lines[1]) << "flag 2 writes no time, and no second line feed";
    EXPECT_EQ("Error:    Critical: after the empty one", lines[2]) << "an empty message is the prefix alone";
}

TEST(xLogFile, EveryCategoryGoesToTheOneFileOnANonAsciiBasePath)
{
    TempFolder folder("xLogTests");
    fs::create_directories(folder.At("\xE6\x97\xA5\xE5\xBF\x97"));                             // 日志
    const std::string split = "\xE6\x97\xA5\xE5\xBF\x97/\xE5\x90\xAF\xE5\x8A\xA8\xE5\x99\xA8"; // 日志/启动器
    {
        FileLogger log(folder, split);
        log.Line(LogLevel::Log, LogCategory::Phy, "\xE4\xB8\xAD physics");
        log.Line(LogLevel::Error, LogCategory::General, "general");
    }
    EXPECT_EQ("Log:      \xE4\xB8\xAD physics" + LineEnd + "Error:    general" + LineEnd,
              ReadFileBytes(folder.At(split + ".txt")));
    EXPECT_FALSE(fs::exists(folder.At(split + "_phy.txt")));
}

TEST(xLogFile, AMissingFolderWritesNothing)
{
    TempFolder folder("xLogTests");
    xEngineContext context;
    context.LogBasePath = Utf8(folder, "no/such/folder/Launcher");
    xLogFileTarget missing(context);
    missing.Write("Log:      ", LogLevel::Log, LogCategory::Fs, 0, 0, "dropped\n");
    EXPECT_FALSE(fs::exists(folder.At("no")));
}

// Threads of one launcher, and a second launcher opening the same log (two
// started at once): every line lands whole, none overwrites another.
TEST(xLogFile, ConcurrentWritersLeaveWholeLines)
{
    TempFolder folder("xLogTests");
    const int threadCount = 8, linesPerThread = 300;
    const std::string padding(400, '.'); // long lines, so that a torn write would show
    {
        FileLogger first(folder, "Launcher");
        FileLogger second(folder, "Launcher");
        std::atomic<bool> go{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t)
            threads.emplace_back(
                [&, t]
                {
                    while (!go)
                        std::this_thread::yield();
                    for (int n = 0; n < linesPerThread; ++n)
                        xLog::Print((t % 2 ? second : first).Context.Logger, 1, LogLevel::Log,
                                    LogCategory::Rd, 0, 0, "t%d n%d %s end", t, n, padding.c_str());
                });
        go = true;
        for (std::thread& thread : threads)
            thread.join();
    }
    const std::regex whole("Log:      t[0-7] n[0-9]+ \\.{400} end");
    std::set<std::string> seen;
    for (const std::string& line : ReadFileLines(folder.At("Launcher.txt")))
    {
        ASSERT_TRUE(StartsWithTimestamp(line) && std::regex_match(line.substr(25), whole))
            << "[" << line << "]";
        seen.insert(line.substr(35));
    }
    EXPECT_EQ(static_cast<size_t>(threadCount * linesPerThread), seen.size());
}

TEST(xLogLine, GeneralTimestampedLinesOnlyWithContextAndLogger)
{
    xEngineContext* const saved = GEngineContext;
    TempFolder folder("xLogTests");
    {
        FileLogger log(folder, "Launcher");
        GEngineContext = nullptr;
        LogLine("no context");
        xLog* const logger = log.Context.Logger;
        log.Context.Logger = nullptr;
        GEngineContext = &log.Context;
        LogErrorLine("no logger");
        log.Context.Logger = logger;
        LogLine("value %d of %s", 5, "ten");
        LogErrorLine("failed: %s", "disk");
    }
    GEngineContext = saved;
    const std::vector<std::string> lines = ReadFileLines(folder.At("Launcher.txt"));
    ASSERT_EQ(2u, lines.size());
    EXPECT_TRUE(StartsWithTimestamp(lines[0]) && StartsWithTimestamp(lines[1]));
    EXPECT_EQ("Log:      value 5 of ten", lines[0].substr(25));
    EXPECT_EQ("Error:    failed: disk", lines[1].substr(25));
}
