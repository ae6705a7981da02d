#pragma once

#include "DownloadSink.h"
#include "LauncherDownload.h"
#include "ResumeNotes.h"

#include "xFile.h"

#include <cstddef>
#include <cstdint>

namespace LauncherDownloadInternal
{
// A body's bytes into the file from byte `base` on.
class FileSink : public DownloadSink
{
public:
    FileSink(xFile& file, uint64_t base, DownloadWatch* watch, ResumeNotes* notes);
    bool Put(uint64_t offset, const uint8_t* data, size_t count) override;

private:
    xFile& File;
    uint64_t Base;
    DownloadWatch* Watch;
    ResumeNotes* Notes;
};
} // namespace LauncherDownloadInternal
