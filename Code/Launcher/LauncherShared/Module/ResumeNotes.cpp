#include "ResumeNotes.h"
#include "LauncherDownload.h"

#include "xLogLine.h"

#include <memory>

namespace LauncherDownloadInternal
{
ResumeNotes::ResumeNotes(const xEngineFileSystem& files, const xWString& path, const ResumeRecord& record)
    : Files(files), Path(path), Record(record), Written(record.Done)
{
}

void ResumeNotes::Write(uint64_t done)
{
    Record.Done = done;
    Written = done;
    const xString text = MakeResumeRecord(Record);
    std::unique_ptr<xFile> file = Files.OpenWrite(Path, false, false);
    if (!file || !file->Write(text.c_str(), static_cast<int64_t>(text.Length())))
        LogErrorLine("Cannot write the resume record %s", xString(Path).c_str());
}

void ResumeNotes::Reached(uint64_t done)
{
    if (done - Written >= ResumeRecordInterval)
        Write(done);
}
} // namespace LauncherDownloadInternal
