#pragma once

#include "xLogTarget.h"
#include "xLogTypes.h"

#include <cstdarg>
#include <memory>

class xEngineContext;

// The process-wide logger: a file target and an optional console target. It holds
// no lock; each target keeps a line whole on its own (see xLogFileTarget).
class xLog
{
public:
    // Either may be null; Print skips a missing target.
    std::unique_ptr<xLogTarget> FileTarget;
    std::unique_ptr<xLogTarget> ConsoleTarget;

    // The platform start-up's set-up: a logger stored in context.Logger, with the
    // file target and, when context.LogConsole is set, the console target. The
    // logger lives as long as the process.
    static xLog* Create(xEngineContext& context);

    // Logs one line. `timestamp` exactly 1 puts the local time in front; levels
    // Trace and Debug reach the console only, levels above Critical nowhere.
    // `foreground`/`background` colour the message on the console (0, 0 keeps
    // the level's colour). A null logger logs nothing.
    static void Print(xLog* logger, int timestamp, LogLevel level, LogCategory category, int foreground,
                      int background, const char* format, ...)
#if defined(__GNUC__)
        __attribute__((format(printf, 7, 8)))
#endif
        ;
    static void PrintV(xLog* logger, int timestamp, LogLevel level, LogCategory category, int foreground,
                       int background, const char* format, va_list arguments);

    // Longest message in bytes, terminator included; longer ones are cut at a
    // whole UTF-8 sequence.
    static constexpr size_t MessageBufferSize = 2048;
};
