#pragma once

#include "xString.h"

class ProductProfile;

// Reads this process's command line, recognises the launch options and parses a
// launch parameter handed over on it. May end the process (arguments refused).
void ParseCommandLine();
void ParseCommandLineText(const xWString& commandLine, ProductProfile& profile);

// A "forcearg=" value as a launch parameter: braces, backslashes and quotes go,
// "&" separates pairs and "=" joins key and value.
xWString NormaliseForcedArgument(const xWString& value);
