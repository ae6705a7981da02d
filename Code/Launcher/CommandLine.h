#pragma once

#include "xFile.h"
#include "xString.h"

#include <cstdint>
#include <memory>

class ProductProfile;
class xCommandLine;

// Reads this process's command line, recognises the launch options and parses a
// launch parameter handed over on it. May end the process (arguments refused).
void ParseCommandLine();
void ParseCommandLineText(const xWString& commandLine, ProductProfile& profile);
// After the options: with no arguments, the check for a newer launcher (which
// starts its download); "updating" or "updated" first, that stage of the
// hand-over. May end the process ("updating" done).
void RunSelfUpdateStep(const xCommandLine& tokens, ProductProfile& profile);

// Starts the thread that downloads launcher `newVersion` and marks the
// self-update running (start-up then shows only the splash screen). When no
// thread can be made: an error line, nothing marked, false. The thread holds
// `lock` (the self-update lock, may be null) until it ends the process.
bool StartSelfUpdate(const xString& baseUrl, uint32_t newVersion, std::unique_ptr<xFile> lock = nullptr);

// A "forcearg=" value as a launch parameter: braces, backslashes and quotes go,
// "&" separates pairs and "=" joins key and value.
xWString NormaliseForcedArgument(const xWString& value);
