#pragma once

// The helper programs' log: each line, "E " before an error line, handed to
// `write` (stdout, a report file) as soon as it is logged.

#include "xEngineContext.h"
#include "xLog.h"
#include "xLogTarget.h"

#include <functional>
#include <memory>
#include <string>

inline void LogLinesTo(std::function<void(const std::string&)> write)
{
    class LineTarget : public xLogTarget
    {
    public:
        explicit LineTarget(std::function<void(const std::string&)> out) : xLogTarget(u"lines"), Out(out) {}
        void Write(const xString&, LogLevel level, LogCategory, int, int, const xString& message) override
        {
            std::string text(message.c_str(), message.Length());
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r'))
                text.pop_back();
            Out((level == LogLevel::Error ? "E " : "") + text);
        }
        std::function<void(const std::string&)> Out;
    };
    GEngineContext = new xEngineContext();
    GEngineContext->Logger = new xLog();
    GEngineContext->Logger->FileTarget = std::make_unique<LineTarget>(std::move(write));
}
