#include "LauncherDownload.h"
#include "PackageCheck.h"
#include "PackageWorkerInternal.h"
#include "UpdateSignature.h"
#include "VerifiedState.h"
#include "VerifiedStateFormat.h"

#include "xLogLine.h"
#include "xPath.h"
#include "xTextConversion.h"

#include <map>
#include <string>
#include <unordered_map>
#include <unordered_set>

namespace PackageWorkerInternal
{
namespace
{
using namespace VerifiedStateFormat;

std::string Utf8Name(const xWString& name)
{
    const xString text = WideToUtf8(name);
    return std::string(text.c_str(), text.Length());
}

// The record's version: the manifest's name, which carries it.
std::string RecordVersion(const PackageJob& job)
{
    return std::string(job.ManifestName.c_str(), job.ManifestName.Length());
}

// The Windows C library's printf knows no %zu.
unsigned long long Count(size_t count)
{
    return static_cast<unsigned long long>(count);
}

FileStamp StampOf(const xFileInfo& info)
{
    return {static_cast<uint64_t>(info.Size), info.LastWriteTime.GetTicks(), info.FileId};
}

// Collects one folder's regular files by their names as listed.
class StampListing : public xFileInfoVisitor
{
public:
    std::unordered_map<std::u16string, FileStamp> Stamps;
    bool HasTemporary = false;

    bool Visit(const xWString& path, const xFileInfo& info) override
    {
        if (info.Exists() && !info.IsDirectory() && info.Size >= 0)
        {
            const xWString name = GetFileName(path);
            HasTemporary = HasTemporary || IsTemporaryName(name);
            Stamps[std::u16string(name.c_str(), name.Length())] = StampOf(info);
        }
        return true;
    }

    static bool IsTemporaryName(const xWString& name)
    {
        const size_t length = name.Length();
        return length > 3 && name[length - 3] == u'.' && (name[length - 2] | 0x20) == u't' &&
               (name[length - 1] | 0x20) == u'd';
    }
};

// A client file's name within its folder (the engine's GetFileName gives none
// for a name without a folder).
xWString NameInFolder(const xWString& relative)
{
    return xWString(relative.c_str() + GetParentPath(relative).Length());
}

// The temporary files in one folder's listing that a killed update left of
// its `members` (a temporary name that is itself a client file stays), by
// their names in the publish folder. The names may come from the record, a
// file anyone can write: none is taken that would leave the publish folder.
void FindLeftovers(const xWString& folder, const std::vector<xWString>& names,
                   const std::vector<size_t>& members, const StampListing& listing,
                   std::vector<xWString>& leftovers)
{
    std::unordered_set<std::string> keys;
    for (const size_t i : members)
        keys.insert(PathKey(NameInFolder(names[i])));
    for (const auto& [listed, stamp] : listing.Stamps)
    {
        const xWString name(listed.c_str());
        if (!StampListing::IsTemporaryName(name))
            continue;
        const std::string key = PathKey(name);
        if (keys.count(key.substr(0, key.size() - 3)) != 0 && keys.count(key) == 0 &&
            IsSafeManifestName(folder + name))
            leftovers.push_back(folder + name);
    }
}

// Why the check reads every file, or null when it may trust the record.
const char* FullCheckWhy(FullCheckCause cause)
{
    if (cause == FullCheckCause::Asked)
        return "asked for by verify";
    if (cause == FullCheckCause::EveryLogin)
        return "the product checks every login";
    return nullptr;
}

std::vector<xWString> EntryNames(const std::vector<ManifestEntry>& entries)
{
    std::vector<xWString> names;
    names.reserve(entries.size());
    for (const ManifestEntry& entry : entries)
        names.push_back(entry.Name);
    return names;
}
} // namespace

xWString VerifiedStatePath(const PackageJob& job)
{
    return job.PublishFolder + RecordName;
}

std::optional<VerifiedState> LoadVerifiedState(const UpdateContext& context, const PackageJob& job)
{
    if (const char* why = FullCheckWhy(job.FullCheck))
    {
        LogLine("Full client check (%s)", why);
        return std::nullopt;
    }
    std::vector<uint8_t> bytes;
    if (!context.Files.ReadWholeFile(VerifiedStatePath(job), static_cast<int64_t>(MaxRecordBytes), bytes))
    {
        LogLine("Full client check (the verified state is missing)");
        return std::nullopt;
    }
    VerifiedState state;
    std::string error;
    if (!ParseVerifiedState(bytes.data(), bytes.size(), state, error))
    {
        LogErrorLine("The verified state %s is damaged: %s", xString(VerifiedStatePath(job)).c_str(),
                     error.c_str());
        LogLine("Full client check (the verified state is damaged)");
        return std::nullopt;
    }
    LogLine("Verified state of %s (manifest SHA-256 %s): %llu files", state.Version.c_str(),
            Sha256Text(state.ManifestHash).c_str(), Count(state.Files.size()));
    return state;
}

const Sha256Digest* WholeClientManifest(const PackageJob& job, const std::optional<VerifiedState>& record)
{
    if (!record || !record->NamesEveryFile() || record->Version != RecordVersion(job))
        return nullptr;
    // A record written without a key vouches for no manifest a keyed build has not checked itself.
    if (GetUpdateVerifier().IsOn() && !record->Signed)
        return nullptr;
    return &record->ManifestHash;
}

ClientListing ListClient(const xEngineFileSystem& files, const PackageJob& job,
                         const std::vector<xWString>& names)
{
    std::map<std::u16string, std::vector<size_t>> byFolder;
    for (size_t i = 0; i < names.size(); ++i)
    {
        const xWString folder = GetParentPath(names[i]);
        byFolder[std::u16string(folder.c_str(), folder.Length())].push_back(i);
    }
    ClientListing client;
    client.Stamps.resize(names.size());
    for (const auto& [spelling, members] : byFolder)
    {
        const xWString folder(spelling.c_str());
        StampListing listing;
        files.EnumerateWithInfo(job.PublishFolder + folder, listing);
        for (const size_t i : members)
        {
            const xWString name = NameInFolder(names[i]);
            const auto found = listing.Stamps.find(std::u16string(name.c_str(), name.Length()));
            if (found != listing.Stamps.end())
            {
                client.Stamps[i] = found->second;
                continue;
            }
            // Spelled otherwise on disk (Windows finds a name in any case), or not there.
            const xFileInfo info = files.GetFileInfo(job.PublishFolder + names[i]);
            if (info.Exists() && !info.IsDirectory() && info.Size >= 0)
                client.Stamps[i] = StampOf(info);
        }
        if (listing.HasTemporary)
            FindLeftovers(folder, names, members, listing, client.Leftovers);
    }
    return client;
}

bool TrustsWholeClient(const UpdateContext& context, const PackageJob& job, const VerifiedState& record,
                       ClientListing& listing)
{
    std::vector<xWString> names;
    names.reserve(record.Files.size());
    for (const VerifiedFile& file : record.Files)
        names.push_back(Utf8ToWide(file.Name.c_str(), file.Name.size()));
    listing = ListClient(context.Files, job, names);
    for (size_t i = 0; i < record.Files.size(); ++i)
    {
        if (!listing.Stamps[i] || *listing.Stamps[i] != record.Files[i].Stamp)
        {
            LogLine("The verified state no longer vouches for %s; the manifest is read",
                    record.Files[i].Name.c_str());
            return false;
        }
    }
    LogLine("The manifest is the one the verified state was made from; it is not unpacked");
    LogLine("Client check: %llu files, %llu trusted from the verified state, 0 read", Count(names.size()),
            Count(names.size()));
    return true;
}

ClientSurvey SurveyClient(const UpdateContext& context, const PackageJob& job, const Manifest& manifest,
                          const Sha256Digest& manifestHash, const std::optional<VerifiedState>& record)
{
    ClientSurvey survey;
    survey.Safe.Package = manifest.Package;
    survey.ManifestEntries = manifest.Entries.size();
    survey.ManifestHash = manifestHash;
    for (const ManifestEntry& entry : manifest.Entries)
    {
        survey.Total += entry.DataSize;
        if (!IsSafeManifestName(entry.Name))
        {
            LogErrorLine("Manifest entry skipped, its name does not stay in the publish folder: \"%s\"",
                         xString(entry.Name).c_str());
            continue;
        }
        survey.Safe.Entries.push_back(entry);
    }
    std::unordered_map<std::string, const VerifiedFile*> vouched;
    if (record)
        for (const VerifiedFile& file : record->Files)
            vouched.emplace(file.Name, &file);
    // Taken before any file is read: a file changed while it is hashed shows another stamp at the end.
    survey.Listing = ListClient(context.Files, job, EntryNames(survey.Safe.Entries));
    const std::vector<std::optional<FileStamp>>& stamps = survey.Listing.Stamps;
    survey.Verified.assign(survey.Safe.Entries.size(), false);
    size_t trusted = 0;
    size_t read = 0;
    for (size_t i = 0; i < survey.Safe.Entries.size(); ++i)
    {
        const ManifestEntry& entry = survey.Safe.Entries[i];
        const ExpectedContent expected = ExpectedOf(entry);
        const auto recorded = vouched.find(Utf8Name(entry.Name));
        if (stamps[i] && recorded != vouched.end() && Vouches(*recorded->second, expected, *stamps[i]))
        {
            survey.Verified[i] = true;
            ++trusted;
            continue;
        }
        // A missing file or one of another size is found stale without a read.
        read += stamps[i] && stamps[i]->Size == expected.Size ? 1 : 0;
        if (VerifyFile(context.Files, EntryPath(job, entry), expected))
        {
            survey.Verified[i] = true;
            continue;
        }
        survey.Needed += entry.DataSize;
        survey.Stale.push_back(entry);
    }
    LogLine("Client check: %llu files, %llu trusted from the verified state, %llu read",
            Count(survey.Safe.Entries.size()), Count(trusted), Count(read));
    // Nothing to write when nothing was read: the record says it all already.
    survey.RecordCurrent =
        record && trusted == survey.Safe.Entries.size() && vouched.size() == trusted &&
        record->ManifestEntries == survey.ManifestEntries && record->Signed == GetUpdateVerifier().IsOn() &&
        record->Version == RecordVersion(job) && record->ManifestHash == survey.ManifestHash;
    return survey;
}

ClientListing ListClient(const UpdateContext& context, const PackageJob& job, const ClientSurvey& survey)
{
    return ListClient(context.Files, job, EntryNames(survey.Safe.Entries));
}

bool ForgetVerifiedState(const UpdateContext& context, const PackageJob& job)
{
    const xEngineFileSystem& files = context.Files;
    const xWString path = VerifiedStatePath(job);
    files.DeleteFileEx(path + u".td", false, true);
    if (files.DeleteFileEx(path, false, true) && !files.IsFile(path))
        return true;
    LogErrorLine("The verified state %s cannot be removed", xString(path).c_str());
    return false;
}

void RecordVerifiedState(const UpdateContext& context, const PackageJob& job, const ClientSurvey& survey,
                         const std::vector<bool>& written, const ClientListing& now)
{
    const xEngineFileSystem& files = context.Files;
    const std::vector<std::optional<FileStamp>>& before = survey.Listing.Stamps;
    VerifiedState state;
    state.Version = RecordVersion(job);
    state.ManifestHash = survey.ManifestHash;
    state.ManifestEntries = static_cast<uint32_t>(survey.ManifestEntries);
    state.Signed = GetUpdateVerifier().IsOn();
    size_t changed = 0;
    for (size_t i = 0; i < survey.Safe.Entries.size(); ++i)
    {
        // A file changed since it was read is left to be read next time; one
        // the update wrote was checked before it took its name.
        const bool sameAsRead =
            survey.Verified[i] && before[i] && now.Stamps[i] && *before[i] == *now.Stamps[i];
        if (!now.Stamps[i] || (!written[i] && !sameAsRead))
        {
            ++changed;
            continue;
        }
        const ManifestEntry& entry = survey.Safe.Entries[i];
        state.Files.push_back(VerifiedFileOf(Utf8Name(entry.Name), ExpectedOf(entry), *now.Stamps[i]));
    }
    if (changed > 0)
        LogLine("%llu client files changed while they were checked; the next check reads them",
                Count(changed));
    // The record vouches for bytes on the disk, not in its cache: flushed first
    // (natively the whole volume at once; on Windows each file before it took its name).
    if (xFileSystem::CanFlushVolumes() && !files.FlushVolume(job.PublishFolder))
    {
        LogErrorLine("The publish folder could not be flushed; no verified state is kept");
        return;
    }
    const std::vector<uint8_t> bytes = WriteVerifiedState(state);
    if (!files.WriteThroughTemporary(VerifiedStatePath(job), job.PublishFolder + TemporaryName, bytes.data(),
                                     static_cast<int64_t>(bytes.size()), true))
        LogErrorLine("The verified state %s could not be written", xString(VerifiedStatePath(job)).c_str());
}
} // namespace PackageWorkerInternal
