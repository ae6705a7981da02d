#include "ResumeRecord.h"
#include "LauncherDownloadInternal.h"

#include "xStringOps.h"
#include "xTextConversion.h"

#include <memory>
#include <vector>

namespace LauncherDownloadInternal
{
bool ReadResumeRecord(const xEngineFileSystem& files, const xWString& path, ResumeRecord& record)
{
    const int64_t size = files.GetFileSize(path);
    // A record is a few dozen bytes; anything large is not one.
    if (size <= 0 || size > 4096)
        return false;
    std::unique_ptr<xFile> file = files.OpenReadPlain(path, true);
    std::vector<char> text(static_cast<size_t>(size));
    return file && file->Read(text.data(), size) &&
           ParseResumeRecord(xString(text.data(), text.size()), record);
}
} // namespace LauncherDownloadInternal

using namespace LauncherDownloadInternal;

bool ParseResumeRecord(const xString& text, ResumeRecord& record)
{
    // Each line is "KEY VALUE\n"; the value runs to the line's end.
    size_t at = 0;
    const auto field = [&](const char* key, xString& value)
    {
        const xString rest = SubText(text, at);
        const ptrdiff_t end = FindText(rest, "\n");
        const xString prefix = xString(key) + " ";
        if (end < 0 || !StartsWith(rest, prefix.c_str()))
            return false;
        value = SubText(rest, prefix.Length(), static_cast<size_t>(end) - prefix.Length());
        at += static_cast<size_t>(end) + 1;
        return true;
    };
    xString size;
    xString done;
    ResumeRecord parsed;
    if (!field("size", size) || !field("version", parsed.Version) || !field("done", done) ||
        at != text.Length())
        return false;
    const int64_t sizeValue = ParseContentLength(size);
    const int64_t doneValue = ParseContentLength(done);
    if (sizeValue < 0 || doneValue < 0 || doneValue > sizeValue)
        return false;
    parsed.Size = static_cast<uint64_t>(sizeValue);
    parsed.Done = static_cast<uint64_t>(doneValue);
    record = parsed;
    return true;
}

xString MakeResumeRecord(const ResumeRecord& record)
{
    return "size " + SignedText(static_cast<int64_t>(record.Size)) + "\nversion " + record.Version +
           "\ndone " + SignedText(static_cast<int64_t>(record.Done)) + "\n";
}

xWString ResumeRecordPath(const UpdateContext& context, const xString& name)
{
    return context.GetDownloadFolder() + Utf8ToWide(name + ".resume");
}

bool LoadResumeRecord(const UpdateContext& context, const xString& name, ResumeRecord& record)
{
    return ReadResumeRecord(context.Files, ResumeRecordPath(context, name), record);
}
