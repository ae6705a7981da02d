#pragma once

// The everyday logging calls: category General, timestamp on, the level's own
// colours. Before the logger exists (or without an engine context) they log
// nothing.

// Informational line (level Log).
void LogLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Failure line (level Error).
void LogErrorLine(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
