#include "FileSink.h"

#include "xLogLine.h"

namespace LauncherDownloadInternal
{
FileSink::FileSink(xFile& file, uint64_t base, DownloadWatch* watch, ResumeNotes* notes)
    : File(file), Base(base), Watch(watch), Notes(notes)
{
}

bool FileSink::Put(uint64_t offset, const uint8_t* data, size_t count)
{
    if (!File.Seek(static_cast<int64_t>(Base + offset)))
        return false;
    if (!File.Write(data, static_cast<int64_t>(count)))
    {
        LogErrorLine("An exception happens when write data to file");
        return false;
    }
    // The pieces come in order from the file's first byte, so all before this end are written.
    const uint64_t end = Base + offset + count;
    if (Watch != nullptr)
        Watch->OnDisk.store(end, std::memory_order_release);
    if (Notes != nullptr)
        Notes->Reached(end);
    return true;
}
} // namespace LauncherDownloadInternal
