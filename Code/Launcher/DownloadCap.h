#pragma once

#include "xString.h"

#include <cstdint>

// The download cap: every transfer of an update together stays under a rate,
// so that a player's game keeps its connection smooth while the launcher
// downloads. Set by the second line of "Setting.ini" (the boss key's line
// stays first and unchanged) or by the command line's "maxrate=", which wins.
// The value is KiB/s; 0 lifts the cap.

constexpr int64_t MostDownloadCapKiB = 1024 * 1024;
// The option and the settings line, up to the value.
constexpr char DownloadCapPrefix[] = "maxrate=";

// The KiB/s of "maxrate=<KiB/s>" (a decimal number from 0 to
// MostDownloadCapKiB, a line end allowed after it); -1 for any other text.
int64_t ParseDownloadCapLine(const xString& line);
// Setting.ini's text after the boss key's line: the cap it names, or -1 when
// it names none (an unreadable line is logged and caps nothing).
int64_t DownloadCapOfSettings(const xString& rest);
// The text of a settings file past its first line, from its line end on; empty without one.
xString SettingsAfterFirstLine(const xString& text);

// Caps the downloads (logged).
void ApplyDownloadCap(int64_t kib);
// Reads the cap from "Setting.ini" beside the launcher; the file is only read.
void LoadDownloadCap();
