#pragma once

#include "xLogTypes.h"
#include "xString.h"

// A destination of log lines. The logger has already built the prefix
// (timestamp and level word) and the message (with its line feed).
class xLogTarget
{
public:
    explicit xLogTarget(const xWString& name) : Name(name) {}
    virtual ~xLogTarget() = default;
    xLogTarget(const xLogTarget&) = delete;
    xLogTarget& operator=(const xLogTarget&) = delete;

    virtual void Write(const xString& prefix, LogLevel level, LogCategory category, int foreground,
                       int background, const xString& message) = 0;

    const xWString& GetName() const { return Name; }

private:
    xWString Name;
};
