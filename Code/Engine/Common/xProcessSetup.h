#pragma once

#include <chrono>

// What a GUI process sets up for itself before its first window: per-monitor DPI
// awareness and COM on the main thread (the embedded browser needs it). Both are
// Windows facilities; elsewhere there is nothing to set up.
void EnableDpiAwareness();
void InitialiseComForThisThread();

// Takes and dispatches every message waiting for this thread; never blocks.
// Messages of a registered modeless dialog go through its keyboard handling
// (Tab, Escape, Enter) instead.
void DrainThreadMessages();
// Blocks until this thread has a message to handle or `longest` passed, and
// returns true; false at once where there is nothing to wait for (natively
// without a display), and the frame loop then sleeps its pace.
bool WaitForThreadMessages(std::chrono::milliseconds longest);
// Registers a modeless dialog (its system handle) with the drain, for the rest of the process.
void AddModelessDialog(void* dialog);

// Ends this process at once with the exit code; no destructors run.
[[noreturn]] void TerminateThisProcess(int exitCode);
