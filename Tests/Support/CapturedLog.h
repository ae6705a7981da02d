#pragma once

#include "xEngineContext.h"
#include "xLog.h"
#include "xLogTarget.h"

#include <algorithm>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Installs an engine context whose logger keeps every message in memory, and
// puts the previous context back when it goes.
class CapturedLog
{
public:
    CapturedLog() : Previous(GEngineContext)
    {
        Context.Logger = &Logger;
        Logger.FileTarget = std::make_unique<Recorder>(*this);
        GEngineContext = &Context;
    }
    ~CapturedLog()
    {
        GEngineContext = Previous;
        Context.Logger = nullptr;
    }

    // The messages from the `from`th on.
    std::vector<std::string> Messages(size_t from = 0) const
    {
        std::lock_guard<std::mutex> lock(Mutex);
        return std::vector<std::string>(Lines.begin() + static_cast<ptrdiff_t>(std::min(from, Lines.size())),
                                        Lines.end());
    }
    // Messages (without their line feed) that start with `prefix`.
    std::vector<std::string> MessagesStartingWith(const std::string& prefix) const
    {
        std::vector<std::string> found = Messages();
        found.erase(std::remove_if(found.begin(), found.end(),
                                   [&](const std::string& line) { return line.rfind(prefix, 0) != 0; }),
                    found.end());
        return found;
    }
    bool Contains(const std::string& message) const
    {
        const std::vector<std::string> lines = Messages();
        return std::find(lines.begin(), lines.end(), message) != lines.end();
    }

    xEngineContext Context;

private:
    class Recorder : public xLogTarget
    {
    public:
        explicit Recorder(CapturedLog& owner) : xLogTarget(u"memory"), Owner(owner) {}
        void Write(const xString&, LogLevel level, LogCategory, int, int, const xString& message) override
        {
            std::string text(message.c_str(), message.Length());
            if (!text.empty() && text.back() == '\n')
                text.pop_back();
            std::lock_guard<std::mutex> lock(Owner.Mutex);
            Owner.Lines.push_back((level == LogLevel::Error ? "E " : "") + text);
        }

    private:
        CapturedLog& Owner;
    };

    xEngineContext* Previous;
    xLog Logger;
    mutable std::mutex Mutex;
    std::vector<std::string> Lines;
};
