#include "xProcessSetup.h"

#include <unistd.h>

// Linux has no per-process DPI switch, no COM and no thread message queue.
void EnableDpiAwareness() {}

void InitialiseComForThisThread() {}

void DrainThreadMessages() {}

void AddModelessDialog(void*) {}

void TerminateThisProcess(int exitCode)
{
    _exit(exitCode);
}
