#include "xLogTypes.h"

#include <cstdio>

bool LevelGoesToConsole(LogLevel level)
{
    return static_cast<uint32_t>(level) <= static_cast<uint32_t>(LogLevel::Critical);
}

bool LevelGoesToFile(LogLevel level)
{
    const uint32_t value = static_cast<uint32_t>(level);
    return value >= static_cast<uint32_t>(LogLevel::Log) &&
           value <= static_cast<uint32_t>(LogLevel::Critical);
}

const char* LogLevelWord(LogLevel level)
{
    // Padded to ten characters so that messages line up in the file.
    switch (level)
    {
    case LogLevel::Trace:
    case LogLevel::Debug:
    case LogLevel::Log:
        return "Log:      ";
    case LogLevel::Warning:
        return "Warning:  ";
    case LogLevel::Error:
        return "Error:    ";
    case LogLevel::Critical:
        return "Critical: ";
    }
    return "";
}

const char* LogCategorySuffix(LogCategory category)
{
    switch (category)
    {
    case LogCategory::General:
        return "";
    case LogCategory::Fs:
        return "_fs";
    case LogCategory::Rd:
        return "_rd";
    case LogCategory::Phy:
        return "_phy";
    case LogCategory::Ui:
        return "_ui";
    case LogCategory::User:
        return "_user";
    }
    return "";
}

xString FormatLogTimestamp(const xLocalTime& time)
{
    // Single precision on purpose: the log has always printed the seconds this way
    // (7 s 250 ms as 07.25), rounding of the last digit included.
    const float seconds = static_cast<float>(time.Second) + static_cast<float>(time.Millisecond) * 0.001f;
    char text[96];
    const int length =
        std::snprintf(text, sizeof text, "[%04d-%02d-%02d %02d:%02d:%05.2f] ", time.Year, time.Month,
                      time.Day, time.Hour, time.Minute, static_cast<double>(seconds));
    if (length < 0)
        return xString();
    return xString(text);
}

bool ConsoleColoursForLine(LogLevel level, LogCategory category, int& foreground, int& background)
{
    int lineForeground = ColourNone;
    int lineBackground = ColourDefault;
    switch (level)
    {
    case LogLevel::Trace:
    case LogLevel::Debug:
    case LogLevel::Log:
        switch (category)
        {
        case LogCategory::General:
            lineForeground = ColourDarkGrey;
            break;
        case LogCategory::Fs:
        case LogCategory::Ui:
            lineForeground = ColourDarkMagenta;
            break;
        case LogCategory::Rd:
            lineForeground = ColourDarkCyan;
            break;
        case LogCategory::User:
            lineForeground = ColourDarkGreen;
            break;
        case LogCategory::Phy:
            break;
        }
        break;
    case LogLevel::Warning:
        lineForeground = ColourYellow;
        break;
    case LogLevel::Error:
        lineForeground = ColourRed;
        break;
    case LogLevel::Critical:
        lineForeground = ColourBlue;
        lineBackground = ColourDarkRed;
        break;
    }
    if (lineForeground == ColourNone)
        return false;
    foreground = lineForeground;
    background = lineBackground;
    return true;
}

int ConsoleColourFromIndex(int index, int defaultColour)
{
    if (index >= ColourBlack && index <= ColourWhite)
        return index - ColourBlack;
    return defaultColour;
}

uint16_t ConsoleAttribute(int foregroundIndex, int backgroundIndex)
{
    const int foreground = ConsoleColourFromIndex(foregroundIndex, ConsoleDefaultForeground);
    const int background = ConsoleColourFromIndex(backgroundIndex, ConsoleDefaultBackground);
    return static_cast<uint16_t>(background * 16 | foreground);
}
