#include "xLogLine.h"

#include "xEngineContext.h"
#include "xLog.h"

#include <cstdarg>

namespace
{
void PrintGeneral(LogLevel level, const char* format, va_list arguments)
{
    if (GEngineContext == nullptr || GEngineContext->Logger == nullptr)
        return;
    xLog::PrintV(GEngineContext->Logger, 1, level, LogCategory::General, ColourNone, ColourNone, format,
                 arguments);
}
} // namespace

void LogLine(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    PrintGeneral(LogLevel::Log, format, arguments);
    va_end(arguments);
}

void LogErrorLine(const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    PrintGeneral(LogLevel::Error, format, arguments);
    va_end(arguments);
}
