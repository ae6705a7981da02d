#pragma once

#include "xString.h"

// Whether a debugger is attached to this process right now.
bool IsDebuggerAttached();

// Puts an assertion report in front of the person at the debugger and hands the
// debugger control where the platform can; returns when the program may go on.
void ShowAssertionToDebugger(const xWString& report);
