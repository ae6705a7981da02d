#pragma once

#include <string>

// What the publisher's commands share: the command entry points and the checks
// of names and options they all make.

int RunClient(int argc, char** argv);
int RunVersion(int argc, char** argv);
int RunFont(int argc, char** argv);
int RunPruneChunks(int argc, char** argv);

// Reports a usage error and gives the exit status for it (2).
int BadUsage(const char* what);
// Strict UTF-8: no overlong forms, no surrogates, nothing beyond U+10FFFF.
bool IsValidUtf8(const std::string& text);
bool HasControlCharacter(const std::string& text);
// Takes the value after an option, or reports it missing.
bool TakeValue(int argc, char** argv, int& i, std::string& value);
