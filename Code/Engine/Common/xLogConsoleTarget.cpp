#include "xLogConsoleTarget.h"

void xLogConsoleTarget::Write(const xString& prefix, LogLevel level, LogCategory category, int foreground,
                              int background, const xString& message)
{
    xScopeLock line(LineLock);
    int lineForeground = ColourNone;
    int lineBackground = ColourNone;
    if (ConsoleColoursForLine(level, category, lineForeground, lineBackground))
        SetColour(lineForeground, lineBackground);
    WriteText(prefix);
    // The caller's colours apply to the message only; both 0 keeps the line's.
    if (foreground != ColourNone || background != ColourNone)
        SetColour(foreground, background);
    WriteText(message);
    SetColour(ColourDefault, ColourDefault);
}
