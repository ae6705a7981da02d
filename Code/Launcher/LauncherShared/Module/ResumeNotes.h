#pragma once

#include "ResumeRecord.h"

#include "xEngineFileSystem.h"
#include "xString.h"

#include <cstdint>

namespace LauncherDownloadInternal
{
// Keeps the resume record beside an unfinished download: rewritten only every
// ResumeRecordInterval bytes, so the record costs next to nothing while a kill
// loses at most that much. It is written after the bytes it counts, so it never
// claims bytes that are not on disk (the system's cache holds both through a kill).
class ResumeNotes
{
public:
    ResumeNotes(const xEngineFileSystem& files, const xWString& path, const ResumeRecord& record);
    void Write(uint64_t done);
    void Reached(uint64_t done);

private:
    const xEngineFileSystem& Files;
    xWString Path;
    ResumeRecord Record;
    uint64_t Written;
};
} // namespace LauncherDownloadInternal
