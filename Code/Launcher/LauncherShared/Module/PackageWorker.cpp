#include "PackageWorker.h"
#include "Crc32c.h"
#include "LauncherDownload.h"
#include "Lzma86.h"
#include "PackageCheck.h"
#include "PackageProgress.h"
#include "PublishDir.h"
#include "RangePlan.h"
#include "UpdateSignature.h"
#include "Xxh32.h"

#include "xFile.h"
#include "xLogLine.h"
#include "xPath.h"
#include "xPlatformTime.h"
#include "xTextConversion.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <shared_mutex>
#include <string>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace
{
// Stored files are copied from the package in pieces of this size.
constexpr size_t CopyPieceSize = 1 << 20;

void PauseAfter(const PackageRetryPolicy& policy, int attempt)
{
    std::this_thread::sleep_for(GrowingPause(policy.FirstPause, policy.LongestPause, attempt));
}

double Now()
{
    return xPlatformTime::Seconds();
}

// Where DownloadFile puts a file of this name.
xWString DownloadedFile(UpdateContext& context, const xString& name)
{
    return context.GetDownloadFolder() + Utf8ToWide(name);
}

enum class ManifestRead
{
    Read,
    Missing,  // none fetched and none from an earlier run
    Broken,   // there, but not an Lzma86 container holding well-formed XML
    Refused,  // its signature is missing or wrong (signed updates only)
    Unhashed, // signed, but without a SHA-256 for the package or a file (signed updates only)
};

// A signature vouches for the files only through hashes nobody can force: a
// manifest that names a file by its 32-bit sums alone is refused with a key.
bool NamesEverySha256(const Manifest& manifest, const xString& name)
{
    if (!manifest.Package.Sha256Present)
    {
        LogErrorLine("Manifest %s names no SHA-256 for the package; a signed update needs one for every file",
                     name.c_str());
        return false;
    }
    for (const ManifestEntry& entry : manifest.Entries)
    {
        if (entry.Sha256Present)
            continue;
        LogErrorLine("Manifest %s names no SHA-256 for %s; a signed update needs one for every file",
                     name.c_str(), xString(entry.Name).c_str());
        return false;
    }
    return true;
}

// With signed updates on, the bytes are taken only under a good signature for
// the manifest's own name, so another version's manifest is refused too.
ManifestRead LoadManifest(UpdateContext& context, const xWString& path, const xString& url,
                          const xString& name, Manifest& manifest)
{
    manifest = Manifest();
    std::vector<uint8_t> container;
    if (!context.Files.ReadWholeFile(path, INT64_MAX, container))
        return ManifestRead::Missing;
    if (!CheckUpdateSignature(url, name, container.data(), container.size()))
        return ManifestRead::Refused;
    if (!ReadManifestContainer(container, manifest))
        return ManifestRead::Broken;
    if (GetUpdateVerifier().IsOn() && !NamesEverySha256(manifest, name))
    {
        manifest = Manifest();
        return ManifestRead::Unhashed;
    }
    return ManifestRead::Read;
}

// Fetches the manifest and reads it; it takes its name in the download folder
// only once read (and, signed updates on, its signature checked). When no
// transfer comes whole, the one an earlier run left there is read instead. One
// that is missing (never fetched, none from an earlier run) or arrives broken is
// fetched again, a bounded number of times: without it nothing says whether the
// client is whole. A refused signature, or a signed manifest without SHA-256
// sums, is final: nothing is taken from it, and it is not kept.
ManifestRead FetchManifest(UpdateContext& context, const PackageJob& job, const PackageRetryPolicy& policy,
                           Manifest& manifest)
{
    const xEngineFileSystem& files = context.Files;
    const xString url = job.BaseUrl + job.ManifestName;
    const xWString path = DownloadedFile(context, job.ManifestName);
    for (int attempt = 1;; ++attempt)
    {
        context.Progress.CrcStartTime = Now();
        TransferOptions options;
        options.MaxSize = MaxManifestBytes;
        options.Rename = false;
        const xWString fetched = TransferFile(context, url, options).Temporary;
        context.Progress.CrcEndTime = Now();
        const ManifestRead read =
            LoadManifest(context, fetched.IsEmpty() ? path : fetched, url, job.ManifestName, manifest);
        if (!fetched.IsEmpty() && !(read == ManifestRead::Read && MoveFetchedFile(context, fetched, path)))
            files.DeleteFileEx(fetched, false, false);
        if (read == ManifestRead::Read)
            return read;
        if (read == ManifestRead::Refused || read == ManifestRead::Unhashed)
        {
            // An earlier run's copy refused now (a key since added) goes too.
            if (fetched.IsEmpty())
                files.DeleteFileEx(path, false, false);
            return read;
        }
        LogErrorLine(read == ManifestRead::Missing ? "Manifest %s could not be fetched (try %d of %d)"
                                                   : "Manifest %s cannot be unpacked or read (try %d of %d)",
                     url.c_str(), attempt, policy.ManifestAttempts);
        if (attempt >= policy.ManifestAttempts)
            return read;
        PauseAfter(policy, attempt);
    }
}

// Launchers running at once share the launcher's folder, where manifests and
// packages land under fixed names: one update at a time downloads there. The
// lock is a file held open without sharing, so a launcher that dies lets go.
std::unique_ptr<xFile> TakeDownloadLock(UpdateContext& context)
{
    const xEngineFileSystem& files = context.Files;
    const xWString path = DownloadedFile(context, "PackageUpdate.lock");
    for (bool told = false;; told = true)
    {
        std::unique_ptr<xFile> lock = files.OpenWrite(path, false, false);
        if (lock)
            return lock;
        // A folder we cannot write to, or a lock file made read-only: no other
        // launcher holds it, so there is nothing to wait for.
        if (!files.IsFile(path) || files.IsReadOnly(path))
            return nullptr;
        if (!told)
            LogLine("Another launcher is updating its client here; waiting for it");
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
}

xWString EntryPath(const PackageJob& job, const ManifestEntry& entry)
{
    return job.PublishFolder + entry.Name;
}

bool IsUpToDate(const UpdateContext& context, const PackageJob& job, const ManifestEntry& entry)
{
    return VerifyFile(context.Files, EntryPath(job, entry), ExpectedOf(entry));
}

// An entry that could not be written leaves the client not whole, unless what
// stays on disk is right anyway (the full way rewrites up-to-date files too).
bool LeftStale(const UpdateContext& context, const PackageJob& job, const ManifestEntry& entry, bool written)
{
    return !written && !IsUpToDate(context, job, entry);
}

// The end of every update that gives up: the state tells the splash screen, the
// log tells why.
int GiveUp(UpdateContext& context, const char* reason)
{
    LogErrorLine("Package update failed: %s", reason);
    context.Progress.PackageUpdateState = PackageUpdateFailed;
    return -1;
}

// True when no file is left stale; else says how many are.
bool ReportStale(int staleFiles)
{
    if (staleFiles > 0)
        LogErrorLine("%d client files stay stale", staleFiles);
    return staleFiles == 0;
}

// How writing a client file ended. The bytes are wrong when they do not match
// the entry's checksums, or its container does not unpack.
enum class PutResult
{
    InPlace,
    Failed, // not written, for another reason than its bytes (with an error line unless quiet)
    Undecodable,
    Mismatch,
};

bool WrongBytes(PutResult result)
{
    return result == PutResult::Undecodable || result == PutResult::Mismatch;
}

// What fills a client file's temporary file: every byte is summed on its way
// to disk, so the file can go in place only when what was written is right.
class CheckedWriter
{
public:
    CheckedWriter(xFile& file, const ManifestEntry& entry) : File(file), Check(ExpectedOf(entry)) {}
    bool Write(const uint8_t* data, size_t length)
    {
        Check.Add(data, length);
        return length == 0 || File.Write(data, static_cast<int64_t>(length));
    }
    bool Matches() { return Check.Matches(); }

private:
    xFile& File;
    ContentCheck Check;
};

// Logged when writing a file failed: a volume with less room than the file
// needs is why (asked before the temporary file gives its bytes back).
void LogWriteFailure(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry)
{
    const xString name(entry.Name);
    xVolumeSpace space;
    if (context.Files.GetVolumeSpace(GetParentPath(EntryPath(job, entry)), space) &&
        space.Free < entry.OrigSize)
    {
        LogErrorLine("Writing %s failed: the disk is full (%llu bytes free); the file stays as it was",
                     name.c_str(), static_cast<unsigned long long>(space.Free));
        context.Progress.PackageFailureReason = PackageFailureDiskFull;
    }
    else
        LogErrorLine("Writing %s failed; the file stays as it was", name.c_str());
}

// Writes one client file through a temporary name that is moved onto the real
// one only when every byte is on disk and matches the entry's checksums; `fill`
// writes the bytes. Anything else leaves the earlier file as it was. Write
// failures get an error line unless `quiet` (a later try will say it); wrong
// bytes are the caller's to tell.
PutResult PutFileInPlace(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                         const std::function<bool(CheckedWriter&)>& fill, bool quiet = false)
{
    const xEngineFileSystem& files = context.Files;
    const xWString path = EntryPath(job, entry);
    files.CreateDirectory(GetParentPath(path), true);
    const xWString temporary = path + u".td";
    std::unique_ptr<xFile> file = files.OpenWrite(temporary, false, false);
    if (!file)
    {
        if (!quiet)
            LogErrorLine("Cannot create %s", xString(temporary).c_str());
        return PutResult::Failed;
    }
    CheckedWriter writer(*file, entry);
    const bool written = fill(writer);
    const bool closed = file->Close();
    file.reset();
    if (!written || !closed)
    {
        if (!quiet)
            LogWriteFailure(context, job, entry);
        files.DeleteFile(temporary);
        return PutResult::Failed;
    }
    if (!writer.Matches())
    {
        files.DeleteFile(temporary);
        return PutResult::Mismatch;
    }
    if (!files.MoveReplacing(path, temporary))
    {
        if (!quiet)
            LogErrorLine("Cannot put %s in place (in use?); the file stays as it was",
                         xString(entry.Name).c_str());
        files.DeleteFile(temporary);
        return PutResult::Failed;
    }
    return PutResult::InPlace;
}

// The line for a file whose bytes came out wrong where no later try fetches them again.
void LogWrongBytes(const ManifestEntry& entry, PutResult result)
{
    const xString name(entry.Name);
    if (result == PutResult::Undecodable)
        LogErrorLine("Unpacking %s failed; the file stays as it was", name.c_str());
    else if (result == PutResult::Mismatch)
        LogErrorLine("%s does not match its checksum; the file stays as it was", name.c_str());
}

// A client file from its package data in memory, unpacked (into `unpacked`)
// when the entry says so.
PutResult WriteEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                         const uint8_t* data, size_t length, std::vector<uint8_t>& unpacked,
                         bool quiet = false)
{
    if (entry.Compressed != 0)
    {
        if (!DecodeLzma86(data, length, unpacked))
            return PutResult::Undecodable;
        data = unpacked.data();
        length = unpacked.size();
    }
    return PutFileInPlace(
        context, job, entry, [&](CheckedWriter& file) { return file.Write(data, length); }, quiet);
}

PutResult WriteEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                         const uint8_t* data, size_t length)
{
    std::vector<uint8_t> unpacked;
    return WriteEntryFile(context, job, entry, data, length, unpacked);
}

// A stored client file copied from the package file in pieces, so even a very
// large one never sits in memory whole.
PutResult CopyEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                        xFile& package, bool quiet)
{
    return PutFileInPlace(
        context, job, entry,
        [&](CheckedWriter& file)
        {
            if (!package.Seek(entry.StartPos))
                return false;
            std::vector<uint8_t> piece(std::min<size_t>(entry.OrigSize, CopyPieceSize));
            for (uint64_t left = entry.OrigSize; left > 0;)
            {
                const size_t count = static_cast<size_t>(std::min<uint64_t>(left, piece.size()));
                if (!package.Read(piece.data(), static_cast<int64_t>(count)) ||
                    !file.Write(piece.data(), count))
                    return false;
                left -= count;
            }
            return true;
        },
        quiet);
}

// A decoder's buffers, kept from one packed file to the next: fresh ones for
// each file of some size map and unmap its pages every time, which costs more
// the more decoders run (unmapping interrupts the cores of the other threads).
// Only buffers up to KeptSize are kept, so a decoder holds what the file at
// hand needs and at most twice KeptSize more.
struct DecoderBuffers
{
    static constexpr size_t KeptSize = 16 << 20;

    std::vector<uint8_t> Packed;
    std::vector<uint8_t> Unpacked;

    // Empty buffers for the next file (emptied first: growing one would copy
    // the earlier file's bytes).
    void Clear()
    {
        for (std::vector<uint8_t>* buffer : {&Packed, &Unpacked})
        {
            buffer->clear();
            if (buffer->capacity() > KeptSize)
                std::vector<uint8_t>().swap(*buffer);
        }
    }
};

// A packed client file: its container read from the package file, then unpacked.
PutResult UnpackEntryFile(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                          xFile& package, DecoderBuffers& buffers, bool quiet)
{
    buffers.Clear();
    std::vector<uint8_t>& data = buffers.Packed;
    try
    {
        data.resize(entry.DataSize);
    }
    catch (const std::bad_alloc&)
    {
        // Several decoders may hold large members at once: this one waits for the next update.
        if (!quiet)
            LogErrorLine("No memory for the packed data of %s; skipped", xString(entry.Name).c_str());
        return PutResult::Failed;
    }
    if (!package.Seek(entry.StartPos) ||
        (!data.empty() && !package.Read(data.data(), static_cast<int64_t>(data.size()))))
    {
        if (!quiet)
            LogErrorLine("Reading %s from the package failed; skipped", xString(entry.Name).c_str());
        return PutResult::Failed;
    }
    return WriteEntryFile(context, job, entry, data.data(), data.size(), buffers.Unpacked, quiet);
}

// The bytes of an entry's data the writer reads: dataSize of a container,
// origSize of a file stored as it is.
uint64_t BytesToRead(const ManifestEntry& entry)
{
    return entry.Compressed != 0 ? entry.DataSize : entry.OrigSize;
}

bool FitsInData(const ManifestEntry& entry, uint64_t dataStart, uint64_t dataLength)
{
    const uint64_t start = entry.StartPos;
    const uint64_t end = start + std::max<uint64_t>(entry.DataSize, BytesToRead(entry));
    return start >= dataStart && end <= dataStart + dataLength;
}

// One entry of the full way, written from the package or left as it was with
// an error line. True when the file is right afterwards.
bool WriteFromPackage(UpdateContext& context, const PackageJob& job, const ManifestEntry& entry,
                      xFile& package, uint64_t packageSize, DecoderBuffers& buffers)
{
    PutResult result = PutResult::Failed;
    if (!FitsInData(entry, 0, packageSize))
        LogErrorLine("Manifest entry %s reaches past the package's end; skipped",
                     xString(entry.Name).c_str());
    else if (entry.Compressed == 0)
        result = CopyEntryFile(context, job, entry, package, false);
    else
        result = UnpackEntryFile(context, job, entry, package, buffers, false);
    LogWrongBytes(entry, result);
    return !LeftStale(context, job, entry, result == PutResult::InPlace);
}

// A name with its ASCII letters folded: Windows finds a file by either case.
std::string PathKey(const xWString& name)
{
    std::string key = WideToUtf8(name).c_str();
    for (char& c : key)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return key;
}

// What a killed update may leave behind, thrown away once the client is whole:
// the temporary file of a client file it was writing (the full way rewrites
// files that were right already, so no later run need touch that file again)
// and the unfinished download of the package (a later run may go by ranges)
// or of the manifest. A temporary name that is itself a client file stays.
void RemoveLeftovers(UpdateContext& context, const PackageJob& job, const std::vector<ManifestEntry>& entries)
{
    const xEngineFileSystem& files = context.Files;
    std::unordered_set<std::string> names;
    for (const ManifestEntry& entry : entries)
        names.insert(PathKey(entry.Name));
    for (const ManifestEntry& entry : entries)
    {
        const xWString temporary = EntryPath(job, entry) + u".td";
        if (names.count(PathKey(entry.Name + u".td")) == 0 && files.IsFile(temporary))
            files.DeleteFile(temporary);
    }
    for (const xString& name : {job.PackageName, job.ManifestName})
    {
        // A resume record goes before the bytes it counts.
        if (files.IsFile(ResumeRecordPath(context, name)))
            files.DeleteFile(ResumeRecordPath(context, name));
        if (files.IsFile(DownloadedFile(context, name + ".td")))
            files.DeleteFile(DownloadedFile(context, name + ".td"));
    }
}

// The full way's work, in the order the decoders take it: each entry alone,
// except that entries whose paths clash (one name twice, one file's name another
// one's folder or temporary file) go together in one item, written in manifest
// order as a single decoder would. Well-formed manifests have no such entries.
std::vector<std::vector<size_t>> FullWayWork(const std::vector<ManifestEntry>& entries)
{
    std::vector<std::string> keys;
    std::unordered_map<std::string, int> files; // every entry's name and temporary name
    std::unordered_set<std::string> folders;
    for (const ManifestEntry& entry : entries)
    {
        keys.push_back(PathKey(entry.Name));
        const std::string& key = keys.back();
        ++files[key];
        ++files[key + ".td"];
        for (size_t slash = key.find('/'); slash != std::string::npos; slash = key.find('/', slash + 1))
            folders.insert(key.substr(0, slash));
    }
    const auto filesNamed = [&](const std::string& key)
    {
        const auto found = files.find(key);
        return found == files.end() ? 0 : found->second;
    };
    std::vector<std::vector<size_t>> work;
    size_t clashingItem = SIZE_MAX;
    for (size_t index = 0; index < entries.size(); ++index)
    {
        const std::string& key = keys[index];
        bool clashes = false;
        for (const std::string& own : {key, key + ".td"})
            clashes = clashes || filesNamed(own) > 1 || folders.count(own) > 0;
        for (size_t slash = key.find('/'); !clashes && slash != std::string::npos;
             slash = key.find('/', slash + 1))
            clashes = filesNamed(key.substr(0, slash)) > 0;
        if (!clashes)
            work.push_back({index});
        else if (clashingItem != SIZE_MAX)
            work[clashingItem].push_back(index);
        else
        {
            clashingItem = work.size();
            work.push_back({index});
        }
    }
    return work;
}

// The full way's work while the package is still arriving: each lone entry
// (clashing ones keep their manifest order for later) is written as soon as
// its data is on disk, by where the data starts, on decoder threads of their
// own. Bytes that have not verified yet may be wrong, so a file goes in place
// only when it matches its own checksum; one that does not is left for the
// writing after the package verified, which also does every entry not taken
// here. Only the first transfer is watched: a package that did not verify is
// rare, and what its transfer wrote is right by each file's own checksum.
class EarlyWriter
{
public:
    EarlyWriter(UpdateContext& context, const PackageJob& job, const Manifest& manifest,
                const std::vector<std::vector<size_t>>& work)
        : Context(context), Job(job), Source(manifest), Work(work), Done(work.size(), 0)
    {
        for (size_t item = 0; item < work.size(); ++item)
            if (work[item].size() == 1 &&
                FitsInData(manifest.Entries[work[item][0]], 0, manifest.Package.TotalSize))
                Order.push_back(item);
        std::stable_sort(
            Order.begin(), Order.end(),
            [&](size_t a, size_t b)
            { return manifest.Entries[work[a][0]].StartPos < manifest.Entries[work[b][0]].StartPos; });
    }
    ~EarlyWriter() { Finish(); }
    EarlyWriter(const EarlyWriter&) = delete;
    EarlyWriter& operator=(const EarlyWriter&) = delete;

    // Starts the decoders (those that can start) before the transfer that reports into Watch.
    void Start(size_t decoders)
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
    // The fetch is over: no more work is taken; waits for the files at hand.
    void Finish()
    {
        Fetching = false;
        for (std::thread& decoder : Decoders)
            decoder.join();
        Decoders.clear();
    }
    // True when work item `item` is written and right (only after Finish).
    bool Written(size_t item) const { return Done[item] != 0; }

    DownloadWatch Watch;

private:
    void Decode()
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

    // Waits (only while the transfer runs) until the package's first `end`
    // bytes are on disk; there is no file to read before its first byte.
    bool WaitForBytes(uint64_t end)
    {
        while (Watch.OnDisk.load(std::memory_order_acquire) < std::max<uint64_t>(end, 1))
        {
            if (!Fetching || Watch.Ended)
                return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return true;
    }

    bool WriteArrived(const ManifestEntry& entry, DecoderBuffers& buffers)
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

    UpdateContext& Context;
    const PackageJob& Job;
    const Manifest& Source;
    const std::vector<std::vector<size_t>>& Work;
    std::vector<size_t> Order; // lone work items by where their data starts
    std::vector<char> Done;    // by work item; each set by the one decoder that took it
    std::atomic<size_t> Next{0};
    std::atomic<bool> Fetching{true};
    std::vector<std::thread> Decoders;
};

// How much of the package's room its unfinished transfer holds: what its .td
// takes, which the next transfer writes into. DownloadFile sets the whole size
// aside before the first byte (on NTFS that allocates it), so a cut transfer's
// file may hold far more room than the bytes its resume record counts.
uint64_t TransferRoomHeld(UpdateContext& context, const PackageJob& job, uint64_t packageSize)
{
    const int64_t allocated =
        context.Files.GetAllocatedSize(DownloadedFile(context, job.PackageName + ".td"));
    uint64_t held = allocated > 0 ? static_cast<uint64_t>(allocated) : 0;
    ResumeRecord record;
    if (LoadResumeRecord(context, job.PackageName, record) && record.Size == packageSize)
        held = std::max(held, record.Done);
    return std::min(held, packageSize);
}

// Whether the volumes of the download and publish folders have room for the
// full way; says which one is short when not. The package lands whole in the
// download folder, less what an earlier run left there (a complete package, or
// the room of a cut transfer: TransferRoomHeld). Each client file is written
// beside the copy it replaces, which goes only at the move: the publish folder grows by what the new files
// add over the old ones (all of them for a fresh client), and holds one unfinished file on top, at most the
// largest unpacked member. Several decoders may each hold one; a write that still runs out of room leaves its
// file as it was and the update fails, so this is the bound for a single writer, not a promise.
bool RoomForFullWay(UpdateContext& context, const PackageJob& job, const Manifest& manifest)
{
    const xEngineFileSystem& files = context.Files;
    const uint64_t packageSize = manifest.Package.TotalSize;
    const bool complete =
        files.GetFileSize(DownloadedFile(context, job.PackageName)) == static_cast<int64_t>(packageSize);
    const uint64_t packageNeed = complete ? 0 : packageSize - TransferRoomHeld(context, job, packageSize);
    uint64_t publishNeed = 0;
    uint64_t largest = 0;
    for (const ManifestEntry& entry : manifest.Entries)
    {
        const int64_t now = files.GetFileSize(EntryPath(job, entry));
        const uint64_t old = now > 0 ? static_cast<uint64_t>(now) : 0;
        publishNeed += entry.OrigSize > old ? entry.OrigSize - old : 0;
        largest = std::max<uint64_t>(largest, entry.OrigSize);
    }
    publishNeed += largest;

    files.CreateDirectory(job.PublishFolder, true);
    const xWString downloadFolder = context.GetDownloadFolder();
    xVolumeSpace download;
    xVolumeSpace publish;
    // A system that cannot tell leaves it to the writes, which fail cleanly.
    if (!files.GetVolumeSpace(downloadFolder, download) || !files.GetVolumeSpace(job.PublishFolder, publish))
        return true;
    const auto shortOf = [](const char* what, const xWString& folder, uint64_t need, uint64_t available)
    {
        LogErrorLine("Not enough disk space for the update: %s %s needs %llu bytes, %llu are free", what,
                     xString(folder).c_str(), static_cast<unsigned long long>(need),
                     static_cast<unsigned long long>(available));
        return false;
    };
    // Wine maps the whole Unix tree onto one drive, whose folders may lie on
    // several file systems: a different size tells those apart.
    if (download.Volume == publish.Volume && download.Total == publish.Total)
    {
        if (download.Free < packageNeed + publishNeed)
            return shortOf("the volume of", downloadFolder, packageNeed + publishNeed, download.Free);
        return true;
    }
    if (download.Free < packageNeed)
        return shortOf("the download folder", downloadFolder, packageNeed, download.Free);
    if (publish.Free < publishNeed)
        return shortOf("the publish folder", job.PublishFolder, publishNeed, publish.Free);
    return true;
}

// After a transfer that did not bring the package: true, with the reason in the
// log and for the splash screen, when the download folder has no room for the
// rest, which no further try would change.
bool DownloadFolderFull(UpdateContext& context, const PackageJob& job, const PackageInfo& package)
{
    // The record stays only while the transfer is unfinished.
    ResumeRecord record;
    if (!LoadResumeRecord(context, job.PackageName, record) || record.Size != package.TotalSize)
        return false;
    const uint64_t more = package.TotalSize - TransferRoomHeld(context, job, package.TotalSize);
    xVolumeSpace space;
    if (!context.Files.GetVolumeSpace(context.GetDownloadFolder(), space) || space.Free >= more)
        return false;
    LogErrorLine("The download folder %s is full: %llu bytes free, the package needs %llu more",
                 xString(context.GetDownloadFolder()).c_str(), static_cast<unsigned long long>(space.Free),
                 static_cast<unsigned long long>(more));
    context.Progress.PackageFailureReason = PackageFailureDiskFull;
    return true;
}

// The package, opened without write sharing, when it verifies: on Windows nobody
// may write, rename or delete it while the handle is held, so what the writing
// reads from it is what was checked. Null (and closed, so a download may
// replace it) when it does not verify.
std::unique_ptr<xFile> OpenVerifiedPackage(UpdateContext& context, const xWString& path,
                                           const PackageInfo& package)
{
    std::unique_ptr<xFile> file = context.Files.OpenReadPlain(path, false);
    if (!file || !VerifyOpenFile(*file, ExpectedOf(package)))
        return nullptr;
    return file;
}

// Fetches until the package verifies (bounded) and gives it open, as
// OpenVerifiedPackage does; null when it never verified. `early`, when given,
// starts just before the first transfer and watches it.
std::unique_ptr<xFile> FetchPackage(UpdateContext& context, const PackageJob& job, const PackageInfo& package,
                                    const PackageRetryPolicy& policy, EarlyWriter* early)
{
    const xString url = job.BaseUrl + job.PackageName;
    const xWString path = DownloadedFile(context, job.PackageName);
    for (int downloads = 0;; ++downloads)
    {
        if (std::unique_ptr<xFile> verified = OpenVerifiedPackage(context, path, package))
            return verified;
        if (downloads >= policy.PackageAttempts)
        {
            LogErrorLine("Package %s did not verify after %d downloads", url.c_str(), downloads);
            return nullptr;
        }
        if (downloads > 0)
        {
            LogErrorLine("Package %s did not verify; fetching it again", url.c_str());
            PauseAfter(policy, downloads);
        }
        // A transfer cut short (a dropped connection, a killed launcher) goes on
        // from the bytes on disk; one that came whole but wrong was renamed and
        // took its record along, so the next one starts from the first byte.
        // What it counted stays for the readers once the package verifies.
        context.Progress.PackageBytesReceived = 0;
        DownloadWatch* watch = nullptr;
        if (early != nullptr && downloads == 0)
        {
            early->Start(static_cast<size_t>(context.GetDecoderCount()));
            watch = &early->Watch;
        }
        // The manifest says how large the package is; a server that announces
        // more gets no disk space for it.
        TransferOptions options;
        options.Received = &context.Progress.PackageBytesReceived;
        options.Watch = watch;
        options.Resume = true;
        options.MaxSize = package.TotalSize;
        TransferFile(context, url, options);
        if (DownloadFolderFull(context, job, package))
            return nullptr;
    }
}

// The package bytes an entry's file is made from.
ByteRange DataRange(const ManifestEntry& entry)
{
    return {entry.StartPos, entry.DataSize};
}

// What one try of a span brought: the members to ask for again (in order),
// the data that counts as progress, and how many files stay stale.
struct SpanTry
{
    std::vector<const ManifestEntry*> Again;
    const ManifestEntry* FirstShort = nullptr;
    size_t ShortCount = 0;
    std::vector<ByteRange> Kept;
    int Stale = 0;
};

// Writes the members whose data arrived whole (up to `reached`). A file whose
// bytes do not match its checksums came altered on the way: it is asked again
// like one that came short, and never written.
SpanTry WriteSpanMembers(UpdateContext& context, const PackageJob& job,
                         const std::vector<const ManifestEntry*>& left, const std::vector<uint8_t>& buffer,
                         uint64_t first, uint64_t reached, int attempt, const PackageRetryPolicy& policy)
{
    SpanTry result;
    for (const ManifestEntry* entry : left)
    {
        if (DataRange(*entry).End() > reached)
        {
            result.Again.push_back(entry);
            result.FirstShort = result.FirstShort != nullptr ? result.FirstShort : entry;
            ++result.ShortCount;
            continue;
        }
        // Per file, as when each file had a request of its own: its data's size.
        LogLine("num bytes download: %d", static_cast<int>(entry->DataSize));
        const PutResult put = WriteEntryFile(context, job, *entry, buffer.data() + (entry->StartPos - first),
                                             static_cast<size_t>(BytesToRead(*entry)));
        if (WrongBytes(put))
        {
            LogErrorLine("Range of %s came altered: its bytes do not match its checksum (try %d of %d)",
                         xString(entry->Name).c_str(), attempt, policy.RangeAttempts);
            result.Again.push_back(entry);
            continue;
        }
        result.Kept.push_back(DataRange(*entry));
        result.Stale += LeftStale(context, job, *entry, put == PutResult::InPlace) ? 1 : 0;
    }
    return result;
}

// Fetches one planned span (members by start) and writes its files. A short
// answer still gives the files that arrived whole; the rest, and those whose
// bytes came altered, are asked for again. A try that brings at least one file
// starts the count of tries afresh, so a link that keeps dropping still moves
// on, while tries that bring nothing end after RangeAttempts. Returns how many
// members stay stale.
int FetchSpan(UpdateContext& context, const PackageJob& job, RangeFetcher& fetcher,
              std::vector<const ManifestEntry*> left, const PackageRetryPolicy& policy)
{
    std::vector<uint8_t> buffer;
    int staleFiles = 0;
    for (int attempt = 1;;)
    {
        std::vector<ByteRange> ranges;
        for (const ManifestEntry* entry : left)
            ranges.push_back(DataRange(*entry));
        const std::vector<ByteRange> wanted = JoinRanges(ranges);
        const uint64_t first = wanted.front().Start;
        const uint64_t length = wanted.back().End() - first;
        buffer.clear();
        const uint64_t arrived = fetcher.Fetch(first, length, buffer, wanted);
        const uint64_t reached = first + arrived;

        const SpanTry brought = WriteSpanMembers(context, job, left, buffer, first, reached, attempt, policy);
        staleFiles += brought.Stale;
        if (brought.Again.empty())
            return staleFiles;
        // The part of a file that did not come whole or right is thrown away,
        // so its bytes are no progress.
        context.Progress.PackageBytesReceived.fetch_sub(
            BytesCovered(wanted, first, reached) - BytesCovered(JoinRanges(brought.Kept), first, reached));
        if (brought.FirstShort != nullptr && left.size() == 1)
            LogErrorLine("Range of %s came back short: %llu of %u bytes (try %d of %d)",
                         xString(brought.FirstShort->Name).c_str(), static_cast<unsigned long long>(arrived),
                         left.front()->DataSize, attempt, policy.RangeAttempts);
        else if (brought.FirstShort != nullptr)
            LogErrorLine("Range of %s and %d more files came back short: %llu of %llu bytes (try %d of %d)",
                         xString(brought.FirstShort->Name).c_str(), static_cast<int>(brought.ShortCount - 1),
                         static_cast<unsigned long long>(arrived), static_cast<unsigned long long>(length),
                         attempt, policy.RangeAttempts);
        left = brought.Again;
        if (!brought.Kept.empty())
            attempt = 1;
        else if (attempt >= policy.RangeAttempts)
            break;
        else
            PauseAfter(policy, attempt++);
    }
    for (const ManifestEntry* entry : left)
    {
        LogErrorLine("%s could not be fetched; the file stays as it was", xString(entry->Name).c_str());
        staleFiles += LeftStale(context, job, *entry, false) ? 1 : 0;
    }
    return staleFiles;
}
} // namespace

std::chrono::milliseconds GrowingPause(std::chrono::milliseconds first, std::chrono::milliseconds longest,
                                       int attempt)
{
    std::chrono::milliseconds pause = first;
    for (int doubling = 1; doubling < attempt && pause < longest; ++doubling)
        pause *= 2;
    return std::min(pause, longest);
}

int PackageUpdateThread(UpdateContext& context, const PackageJob& request)
{
    if (request.LocalMode)
    {
        context.Progress.PackageUpdateState = PackageUpdateDone;
        return 0;
    }
    PackageJob job = request;
    if (job.PublishFolder.IsEmpty())
        job.PublishFolder = PublishDir();
    const std::unique_ptr<xFile> downloadLock = TakeDownloadLock(context);
    const PackageRetryPolicy& policy = context.RetryPolicy;
    Manifest manifest;
    const ManifestRead read = FetchManifest(context, job, policy, manifest);
    if (read == ManifestRead::Refused)
        return GiveUp(context, "the manifest's signature was refused");
    if (read == ManifestRead::Unhashed)
        return GiveUp(context, "the signed manifest lacks SHA-256 sums");
    if (read != ManifestRead::Read)
        return GiveUp(context, "no readable manifest");
    context.Progress.PackageUpdateState = PackageUpdateChecking;

    // Sums of the package data: all of it, and the part that must be fetched.
    uint64_t total = 0;
    uint64_t needed = 0;
    Manifest safe;
    safe.Package = manifest.Package;
    std::vector<ManifestEntry> stale;
    for (const ManifestEntry& entry : manifest.Entries)
    {
        total += entry.DataSize;
        if (!IsSafeManifestName(entry.Name))
        {
            LogErrorLine("Manifest entry skipped, its name does not stay in the publish folder: \"%s\"",
                         xString(entry.Name).c_str());
            continue;
        }
        safe.Entries.push_back(entry);
        if (IsUpToDate(context, job, entry))
            continue;
        needed += entry.DataSize;
        stale.push_back(entry);
    }
    // A missing empty file is stale too, though it needs no bytes.
    if (stale.empty())
    {
        RemoveLeftovers(context, job, safe.Entries);
        LogLine("Client is up to date: %s", job.PackageName.c_str());
        context.Progress.PackageUpdateState = PackageUpdateDone;
        return 0;
    }

    context.Progress.PackageBytesNeeded = needed;
    context.Progress.PackageBytesReceived = 0;
    context.Progress.PackageUpdateState = PackageUpdateDownloading;
    const bool full = PrefersFullDownload(needed, total);
    // A client with a file left stale is not whole: never reported Done.
    if (full)
    {
        if (!RoomForFullWay(context, job, safe))
        {
            context.Progress.PackageFailureReason = PackageFailureDiskFull;
            return GiveUp(context, "not enough free disk space for the full way");
        }
        if (!FullPackageDownload(context, job, safe))
            return GiveUp(context, "the full way did not bring every file up to date");
        context.Progress.FullDownloadDone = true;
    }
    else
    {
        if (!PartialPackageDownload(context, job, stale))
            return GiveUp(context, "the partial way did not bring every file up to date");
        context.Progress.PartialDownloadDone = true;
    }
    RemoveLeftovers(context, job, safe.Entries);
    const double elapsed = context.Progress.DownloadEndTime - context.Progress.DownloadStartTime;
    context.Progress.DownloadSpeed = elapsed > 0.0 ? static_cast<double>(needed) / elapsed : 0.0;
    LogLine("Client updated to %s (%s way, %llu of %llu bytes stale)", job.PackageName.c_str(),
            full ? "full" : "partial", static_cast<unsigned long long>(needed),
            static_cast<unsigned long long>(total));
    context.Progress.PackageUpdateState = PackageUpdateDone;
    return 0;
}

bool FullPackageDownload(UpdateContext& context, const PackageJob& job, const Manifest& manifest)
{
    const std::vector<std::vector<size_t>> allWork = FullWayWork(manifest.Entries);
    EarlyWriter early(context, job, manifest, allWork);
    // Held until the last file is written. Plain readers: whole containers and
    // 1 MiB pieces go straight into their buffers.
    const std::unique_ptr<xFile> package =
        FetchPackage(context, job, manifest.Package, context.RetryPolicy, &early);
    early.Finish();
    if (!package)
        return false;
    context.Progress.DownloadEndTime = Now();
    context.Progress.PackageUpdateState = PackageUpdateChecking;

    const xEngineFileSystem& files = context.Files;
    files.CreateDirectory(job.PublishFolder, true);
    const xWString path = DownloadedFile(context, job.PackageName);
    const uint64_t packageSize = manifest.Package.TotalSize;
    std::vector<std::vector<size_t>> work;
    for (size_t item = 0; item < allWork.size(); ++item)
        if (!early.Written(item))
            work.push_back(allWork[item]);
    const size_t decoders = std::min<size_t>(static_cast<size_t>(context.GetDecoderCount()), work.size());
    // Several decoders take the costliest files first, so that none is left with
    // a long one while the others have run out of work. Unpacking costs about
    // what a copy of sixteen times the bytes does.
    if (decoders > 1)
    {
        const auto cost = [&](const std::vector<size_t>& item)
        {
            uint64_t sum = 0;
            for (size_t index : item)
            {
                const ManifestEntry& entry = manifest.Entries[index];
                sum += entry.Compressed != 0 ? uint64_t{entry.OrigSize} * 16 : entry.OrigSize;
            }
            return sum;
        };
        std::stable_sort(work.begin(), work.end(),
                         [&](const std::vector<size_t>& a, const std::vector<size_t>& b)
                         { return cost(a) > cost(b); });
    }
    std::atomic<size_t> nextItem{0};
    std::atomic<int> staleFiles{0};
    // Each decoder takes the next item until none is left, with one packed
    // file's data in its buffers at a time, never the whole package.
    const auto decode = [&](xFile& reader)
    {
        DecoderBuffers buffers;
        for (size_t item; (item = nextItem++) < work.size();)
            for (size_t index : work[item])
                if (!WriteFromPackage(context, job, manifest.Entries[index], reader, packageSize, buffers))
                    ++staleFiles;
    };
    // This thread is one decoder, on the verified handle; each other one reads
    // through a reader of its own, as a reader has one position, opened while
    // that handle keeps writers out. One that cannot start leaves its share to
    // the others. Every file is checked against its own sums as it is written
    // besides, so bytes changed after the check (where sharing is advisory,
    // natively) never land.
    std::vector<std::thread> helpers;
    helpers.reserve(decoders);
    for (size_t started = 1; started < decoders; ++started)
    {
        std::shared_ptr<xFile> reader = files.OpenReadPlain(path, false);
        if (!reader)
            break;
        try
        {
            helpers.emplace_back([&decode, reader] { decode(*reader); });
        }
        catch (const std::system_error&)
        {
            break;
        }
    }
    decode(*package);
    for (std::thread& helper : helpers)
        helper.join();
    return ReportStale(staleFiles);
}

bool PartialPackageDownload(UpdateContext& context, const PackageJob& job,
                            const std::vector<ManifestEntry>& entries)
{
    const PackageRetryPolicy& policy = context.RetryPolicy;
    RangeFetcher fetcher(context, job.BaseUrl + job.PackageName);
    // One HEAD for the whole run; when it fails, each try asks again.
    const int64_t packageSize = fetcher.RemoteSize();
    int staleFiles = 0;
    std::vector<const ManifestEntry*> wanted;
    for (const ManifestEntry& entry : entries)
    {
        bool written = false;
        if (!FitsInData(entry, entry.StartPos, entry.DataSize))
            LogErrorLine("Manifest entry %s is larger than its package data; skipped",
                         xString(entry.Name).c_str());
        // Past the end no server has the bytes; merged with good neighbours
        // it would cost them their request.
        else if (packageSize >= 0 && DataRange(entry).End() > static_cast<uint64_t>(packageSize))
        {
            LogErrorLine("Range of %s lies past the package's end", xString(entry.Name).c_str());
            LogErrorLine("%s could not be fetched; the file stays as it was", xString(entry.Name).c_str());
        }
        // An empty file needs no request; no later try brings other bytes.
        else if (entry.DataSize == 0)
        {
            const PutResult put = WriteEntryFile(context, job, entry, nullptr, 0);
            LogWrongBytes(entry, put);
            written = put == PutResult::InPlace;
        }
        else
        {
            wanted.push_back(&entry);
            continue;
        }
        staleFiles += LeftStale(context, job, entry, written) ? 1 : 0;
    }

    std::vector<ByteRange> ranges;
    for (const ManifestEntry* entry : wanted)
        ranges.push_back(DataRange(*entry));
    for (const PlannedSpan& span : PlanRanges(ranges))
    {
        std::vector<const ManifestEntry*> members;
        for (size_t member : span.Members)
            members.push_back(wanted[member]);
        staleFiles += FetchSpan(context, job, fetcher, std::move(members), policy);
    }
    context.Progress.DownloadEndTime = Now();
    return ReportStale(staleFiles);
}
