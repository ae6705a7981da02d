#pragma once

#include "xLogTarget.h"

#include <cstdint>
#include <cstdio>
#include <map>

class xEngineContext;

// Writes log lines into one text file per category (base path + suffix + ".txt"),
// or into the General file only. Lines of other categories are copied into the
// General file as well, so that file always tells the whole story.
class xLogFileTarget : public xLogTarget
{
public:
    // Opens the files at once, truncating the previous run's; a file that cannot
    // be opened leaves its category without one.
    explicit xLogFileTarget(const xEngineContext& context);
    ~xLogFileTarget() override;

    void Write(const xString& prefix, LogLevel level, LogCategory category, int foreground, int background,
               const xString& message) override;

    bool HasFile(LogCategory category) const;

private:
    void OpenCategory(uint32_t category);
    void WriteLine(uint32_t category, const xString& line);

    // Opens a file for appending, truncated, while other processes may read
    // and write it (a tail -f or a second launcher). Null on failure.
    static FILE* OpenStream(const xString& path);
    // Writes one line with the platform's line ends as one write, flushed at
    // once: the stream's lock keeps lines of concurrent threads whole, the
    // append keeps those of another launcher whole, and a killed process
    // leaves a complete log.
    static void WriteStream(FILE* stream, const xString& line);

    xString BasePath;
    std::map<uint32_t, FILE*> Streams;
    uint8_t SingleFile = 0;
    uint8_t Disabled = 0;
};
