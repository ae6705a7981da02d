#pragma once

#include "xLocalTime.h"
#include "xString.h"

#include <cstdint>

// Severity of a log line. Levels above Critical are accepted by the logging call
// and go nowhere.
enum class LogLevel : uint32_t
{
    Trace = 0,
    Debug = 1,
    Log = 2,
    Warning = 3,
    Error = 4,
    Critical = 5,
};

// Subsystem a line belongs to; each category can have its own file.
enum class LogCategory : uint32_t
{
    General = 0,
    Fs = 1,
    Rd = 2,
    Phy = 3,
    Ui = 4,
    User = 5,
};

constexpr uint32_t LogCategoryCount = 6;

// Colour numbers taken by the logging call and the console target. 0 and 1 both
// mean the default (white text, black background); 2 + k is console colour k.
enum ConsoleColourIndex : int
{
    ColourNone = 0,
    ColourDefault = 1,
    ColourBlack = 2,
    ColourDarkBlue,
    ColourDarkGreen,
    ColourDarkCyan,
    ColourDarkRed,
    ColourDarkMagenta,
    ColourDarkYellow,
    ColourGrey,
    ColourDarkGrey,
    ColourBlue,
    ColourGreen,
    ColourCyan,
    ColourRed,
    ColourMagenta,
    ColourYellow,
    ColourWhite, // 17, the last valid index
};

// Console colours (0..15) that the default indices stand for.
constexpr int ConsoleDefaultForeground = 15;
constexpr int ConsoleDefaultBackground = 0;

bool LevelGoesToConsole(LogLevel level);
bool LevelGoesToFile(LogLevel level);

// The ten-character word after the timestamp; empty for levels above Critical.
const char* LogLevelWord(LogLevel level);

// File name suffix of a category ("" for General, "_phy" for Phy...); empty for
// unknown categories.
const char* LogCategorySuffix(LogCategory category);

// "[YYYY-MM-DD hh:mm:ss.ss] "; the seconds are computed in single precision, as
// the log has always printed them.
xString FormatLogTimestamp(const xLocalTime& time);

// Colour pair a console line starts with. False when the table leaves the colour
// as it is (Trace..Log lines of category Phy, and unknown levels).
bool ConsoleColoursForLine(LogLevel level, LogCategory category, int& foreground, int& background);

// Console colour 0..15 for an index; the default indices and anything outside
// 0..17 give `defaultColour`.
int ConsoleColourFromIndex(int index, int defaultColour);

// Console text attribute for an index pair: background * 16 | foreground.
uint16_t ConsoleAttribute(int foregroundIndex, int backgroundIndex);
