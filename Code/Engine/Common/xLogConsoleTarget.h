#pragma once

#include "xCriticalSection.h"
#include "xLogTarget.h"

#include <memory>

// Writes log lines to a console in the colour of their level and category.
// Windows allocates a console window for it; elsewhere the lines go to the
// terminal on standard error with colour escape sequences.
class xLogConsoleTarget : public xLogTarget
{
public:
    // Allocates the console (platform implementation).
    xLogConsoleTarget();
    ~xLogConsoleTarget() override;

    void Write(const xString& prefix, LogLevel level, LogCategory category, int foreground, int background,
               const xString& message) override;

private:
    // Holder of the console output handle; its shape is the platform's.
    struct Console;

    // Platform primitives; failures on a console that could not be set up are
    // silent, as the log has nowhere to report them.
    void SetColour(int foregroundIndex, int backgroundIndex);
    void WriteText(const xString& text);

    std::unique_ptr<Console> Output;
    // A line is written in several pieces (colours, prefix, message); threads
    // logging at once must not mix theirs.
    xCriticalSection LineLock;
};
