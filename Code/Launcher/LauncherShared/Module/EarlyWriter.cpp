#include "EarlyWriter.h"
#include "DecoderBuffers.h"
#include "PackageWorkerInternal.h"

#include "xLogLine.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <system_error>

namespace PackageWorkerInternal
{
EarlyWriter::EarlyWriter(UpdateContext& context, const PackageJob& job, const Manifest& manifest,
                         const std::vector<std::vector<size_t>>& work)
    : Context(context), Job(job), Source(manifest), Work(work), Done(work.size(), 0)
{
    for (size_t item = 0; item < work.size(); ++item)
        if (work[item].size() == 1 &&
            FitsInData(manifest.Entries[work[item][0]], 0, manifest.Package.TotalSize))
            Order.push_back(item);
    std::stable_sort(Order.begin(), Order.end(),
                     [&](size_t a, size_t b) {
                         return manifest.Entries[work[a][0]].StartPos < manifest.Entries[work[b][0]].StartPos;
                     });
}

void EarlyWriter::Start(size_t decoders)
{
    for (size_t started = 0; started < std::min(decoders, Order.size()); ++started)
    {
        try
        {
            Decoders.emplace_back([this] { Decode(); });
        }
        catch (const std::system_error&)
        {
            break;
        }
    }
}

void EarlyWriter::Finish()
{
    Fetching = false;
    for (std::thread& decoder : Decoders)
        decoder.join();
    Decoders.clear();
}

namespace
{
// The arriving package as one decoder reads it: kept open from one file to the
// next while their bytes are on disk (each open and close is a system call,
// under Wine a round trip to its server), let go while the decoder waits for
// bytes and as soon as the transfer ends.
class ArrivingPackage
{
public:
    ArrivingPackage(const xEngineFileSystem& files, DownloadWatch& watch) : Files(files), Watch(watch) {}
    // The package open, or null once the transfer is ending.
    xFile* Open()
    {
        if (Watch.Ending)
            LetGo();
        if (File || Watch.Ending)
            return File.get();
        Reading = std::shared_lock<std::shared_mutex>(Watch.Lock);
        if (!Watch.Ended)
            File = Files.OpenReadPlain(Watch.TemporaryPath, true);
        if (!File)
            LetGo();
        return File.get();
    }
    // Closed before the lock goes.
    void LetGo()
    {
        File.reset();
        if (Reading.owns_lock())
            Reading.unlock();
    }

private:
    const xEngineFileSystem& Files;
    DownloadWatch& Watch;
    std::shared_lock<std::shared_mutex> Reading; // declared before File: destroyed after it
    std::unique_ptr<xFile> File;
};
} // namespace

void EarlyWriter::Decode()
{
    DecoderBuffers buffers;
    ArrivingPackage package(Context.Files, Watch);
    for (size_t at; (at = Next++) < Order.size();)
    {
        const ManifestEntry& entry = Source.Entries[Work[Order[at]][0]];
        // There is no file to read before its first byte.
        const uint64_t end = std::max<uint64_t>(entry.StartPos + BytesToRead(entry), 1);
        if (Watch.OnDisk.load(std::memory_order_acquire) < end)
            package.LetGo();
        if (!WaitForBytes(end))
            return;
        xFile* file = package.Open();
        Done[Order[at]] = file != nullptr && WriteArrived(entry, *file, buffers) ? 1 : 0;
    }
}

bool EarlyWriter::WaitForBytes(uint64_t end)
{
    while (Watch.OnDisk.load(std::memory_order_acquire) < end)
    {
        if (!Fetching || Watch.Ended)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool EarlyWriter::WriteArrived(const ManifestEntry& entry, xFile& package, DecoderBuffers& buffers)
{
    const PutResult result = entry.Compressed == 0
                                 ? CopyEntryFile(Context, Job, entry, package, true)
                                 : UnpackEntryFile(Context, Job, entry, package, buffers, true);
    if (WrongBytes(result))
        LogErrorLine(
            "%s did not match its checksum while the package arrived; it waits for the verified package",
            xString(entry.Name).c_str());
    return result == PutResult::InPlace;
}
} // namespace PackageWorkerInternal
