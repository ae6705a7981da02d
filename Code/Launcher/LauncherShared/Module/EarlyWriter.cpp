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

void EarlyWriter::Decode()
{
    DecoderBuffers buffers;
    for (size_t at; (at = Next++) < Order.size();)
    {
        const ManifestEntry& entry = Source.Entries[Work[Order[at]][0]];
        if (!WaitForBytes(entry.StartPos + BytesToRead(entry)))
            return;
        Done[Order[at]] = WriteArrived(entry, buffers) ? 1 : 0;
    }
}

bool EarlyWriter::WaitForBytes(uint64_t end)
{
    while (Watch.OnDisk.load(std::memory_order_acquire) < std::max<uint64_t>(end, 1))
    {
        if (!Fetching || Watch.Ended)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

bool EarlyWriter::WriteArrived(const ManifestEntry& entry, DecoderBuffers& buffers)
{
    UpdateContext& context = Context;
    PutResult result = PutResult::Failed;
    {
        // Open only while the transfer lets readers in; closed before the lock goes.
        std::shared_lock<std::shared_mutex> reading(Watch.Lock);
        if (Watch.Ended)
            return false;
        std::unique_ptr<xFile> package = context.Files.OpenReadPlain(Watch.TemporaryPath, true);
        if (!package)
            return false;
        result = entry.Compressed == 0 ? CopyEntryFile(context, Job, entry, *package, true)
                                       : UnpackEntryFile(context, Job, entry, *package, buffers, true);
    }
    if (WrongBytes(result))
        LogErrorLine(
            "%s did not match its checksum while the package arrived; it waits for the verified package",
            xString(entry.Name).c_str());
    return result == PutResult::InPlace;
}
} // namespace PackageWorkerInternal
