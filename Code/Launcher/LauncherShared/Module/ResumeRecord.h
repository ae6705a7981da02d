#pragma once

#include "UpdateContext.h"

#include "xString.h"

#include <cstdint>

// What the resume record beside an unfinished download says: the file's size
// and version as the HEAD announced them, and how many leading bytes are on disk.
struct ResumeRecord
{
    uint64_t Size = 0;
    xString Version;
    uint64_t Done = 0;
};
// "size N\nversion TEXT\ndone N\n"; false for anything else (a record torn by a
// kill while it was rewritten), or Done past Size.
bool ParseResumeRecord(const xString& text, ResumeRecord& record);
xString MakeResumeRecord(const ResumeRecord& record);
// Where DownloadFile keeps the record of the file it stores as `name`.
xWString ResumeRecordPath(const UpdateContext& context, const xString& name);
// That record, read and parsed; false when there is none that parses.
bool LoadResumeRecord(const UpdateContext& context, const xString& name, ResumeRecord& record);
