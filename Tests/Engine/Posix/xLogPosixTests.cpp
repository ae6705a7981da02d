#include "xEngineContext.h"
#include "xLog.h"
#include "xLogTypes.h"

#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <string>

#include <fcntl.h>
#include <unistd.h>

// The console is the terminal on standard error here.
TEST(xLogConsole, TerminalLinesCarryTheTableColours)
{
    TempFolder folder("xLogTests");
    xEngineContext context;
    context.LogBasePath = xString(folder.At("Launcher").generic_u8string().c_str());
    context.LogSingleFile = 1;
    context.LogConsole = 1;
    xLog* logger = xLog::Create(context);
    ASSERT_NE(nullptr, logger->ConsoleTarget);
    xLogTarget& console = *logger->ConsoleTarget;
    EXPECT_TRUE(console.GetName() == xWString(u"WispEngine Console"));

    const int saved = ::dup(2);
    const int file = ::open(folder.At("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(file, 2);
    ::close(file);
    xLog::Print(logger, 0, LogLevel::Error, LogCategory::General, 0, 0, "boom");
    xLog::Print(logger, 0, LogLevel::Debug, LogCategory::General, 0, 0, "debug");
    xLog::Print(logger, 0, LogLevel::Log, LogCategory::Phy, 0, 0, "phy keeps the colour");
    xLog::Print(logger, 0, LogLevel::Critical, LogCategory::Ui, 0, 0, "%s", "");
    console.Write("P ", LogLevel::Warning, LogCategory::Fs, ColourGreen, ColourDarkBlue, "custom\n");
    ::dup2(saved, 2);
    ::close(saved);
    delete logger;
    EXPECT_EQ("\x1b[91;49mError:    boom\x1b[0m\n"
              "\x1b[90;49mLog:      debug\x1b[0m\n"
              "Log:      phy keeps the colour\n"
              "\x1b[94;41mCritical: \x1b[0m"
              "\x1b[93;49mP \x1b[92;44mcustom\x1b[0m\n",
              ReadFileBytes(folder.At("stderr.txt")));
}
