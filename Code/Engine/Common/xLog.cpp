#include "xLog.h"

#include "xEngineContext.h"
#include "xFormat.h"
#include "xLocalTime.h"
#include "xLogConsoleTarget.h"
#include "xLogFileTarget.h"

xLog* xLog::Create(xEngineContext& context)
{
    xLog* logger = new xLog();
    context.Logger = logger;
    if (!logger->FileTarget)
        logger->FileTarget = std::make_unique<xLogFileTarget>(context);
    if (!logger->ConsoleTarget && context.LogConsole)
        logger->ConsoleTarget = std::make_unique<xLogConsoleTarget>();
    return logger;
}

void xLog::Print(xLog* logger, int timestamp, LogLevel level, LogCategory category, int foreground,
                 int background, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    PrintV(logger, timestamp, level, category, foreground, background, format, arguments);
    va_end(arguments);
}

void xLog::PrintV(xLog* logger, int timestamp, LogLevel level, LogCategory category, int foreground,
                  int background, const char* format, va_list arguments)
{
    if (logger == nullptr)
        return;
    const bool toConsole = LevelGoesToConsole(level) && logger->ConsoleTarget;
    const bool toFile = LevelGoesToFile(level) && logger->FileTarget;
    if (!toConsole && !toFile)
        return;

    // On the stack: worker threads log too, and a line must not cost a heap buffer.
    char buffer[MessageBufferSize] = {};
    FormatNarrowV(buffer, sizeof buffer, format, arguments);

    xString prefix;
    if (timestamp == 1)
        prefix = FormatLogTimestamp(ReadLocalTime());
    prefix += LogLevelWord(level);

    xString message(buffer);
    if (!message.IsEmpty() && message.Last() != '\n')
        message += '\n';

    if (toConsole)
        logger->ConsoleTarget->Write(prefix, level, category, foreground, background, message);
    if (toFile)
        logger->FileTarget->Write(prefix, level, category, foreground, background, message);
}
