#include "LauncherDownload.h"
#include "PackageCheck.h"
#include "PackageWorkerInternal.h"
#include "VerifiedState.h"
#include "VerifiedStateFormat.h"

#include "xLogLine.h"
#include "xPath.h"
#include "xTextConversion.h"

#include <map>
#include <string>
#include <unordered_map>

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

    bool Visit(const xWString& path, const xFileInfo& info) override
    {
        if (info.Exists() && !info.IsDirectory() && info.Size >= 0)
        {
            const xWString name = GetFileName(path);
            Stamps[std::u16string(name.c_str(), name.Length())] = StampOf(info);
        }
        return true;
    }
};

// Why the check reads every file, or null when it may trust the record.
const char* FullCheckWhy(FullCheckCause cause)
{
    if (cause == FullCheckCause::Asked)
        return "asked for by verify";
    if (cause == FullCheckCause::EveryLogin)
        return "the product checks every login";
    return nullptr;
}

// The record that vouches for files of this client; none (and the line that
// says the check reads every file) when it is missing, damaged or not asked.
std::unordered_map<std::string, VerifiedFile> LoadVerifiedState(const UpdateContext& context,
                                                                const PackageJob& job, VerifiedState& head)
{
    std::unordered_map<std::string, VerifiedFile> vouched;
    if (const char* why = FullCheckWhy(job.FullCheck))
    {
        LogLine("Full client check (%s)", why);
        return vouched;
    }
    std::vector<uint8_t> bytes;
    if (!context.Files.ReadWholeFile(VerifiedStatePath(job), static_cast<int64_t>(MaxRecordBytes), bytes))
    {
        LogLine("Full client check (the verified state is missing)");
        return vouched;
    }
    VerifiedState state;
    std::string error;
    if (!ParseVerifiedState(bytes.data(), bytes.size(), state, error))
    {
        LogErrorLine("The verified state %s is damaged: %s", xString(VerifiedStatePath(job)).c_str(),
                     error.c_str());
        LogLine("Full client check (the verified state is damaged)");
        return vouched;
    }
    LogLine("Verified state of %s (manifest SHA-256 %s): %llu files", state.Version.c_str(),
            Sha256Text(state.ManifestHash).c_str(), Count(state.Files.size()));
    for (VerifiedFile& file : state.Files)
    {
        std::string name = file.Name;
        vouched.emplace(std::move(name), std::move(file));
    }
    head.Version = state.Version;
    head.ManifestHash = state.ManifestHash;
    return vouched;
}

Sha256Digest ManifestHash(const UpdateContext& context, const PackageJob& job)
{
    std::vector<uint8_t> bytes;
    context.Files.ReadWholeFile(DownloadedFile(context, job.ManifestName),
                                static_cast<int64_t>(MaxManifestBytes), bytes);
    return Sha256::Of(bytes.data(), bytes.size()).value_or(Sha256Digest{});
}
} // namespace

xWString VerifiedStatePath(const PackageJob& job)
{
    return job.PublishFolder + RecordName;
}

std::vector<std::optional<FileStamp>> StampFiles(const xEngineFileSystem& files, const PackageJob& job,
                                                 const std::vector<ManifestEntry>& entries)
{
    std::map<std::u16string, std::vector<size_t>> byFolder;
    for (size_t i = 0; i < entries.size(); ++i)
    {
        const xWString folder = GetParentPath(entries[i].Name);
        byFolder[std::u16string(folder.c_str(), folder.Length())].push_back(i);
    }
    std::vector<std::optional<FileStamp>> stamps(entries.size());
    for (const auto& [folder, members] : byFolder)
    {
        StampListing listing;
        files.EnumerateWithInfo(job.PublishFolder + xWString(folder.c_str()), listing);
        for (const size_t i : members)
        {
            const xWString name = GetFileName(entries[i].Name);
            const auto found = listing.Stamps.find(std::u16string(name.c_str(), name.Length()));
            if (found != listing.Stamps.end())
            {
                stamps[i] = found->second;
                continue;
            }
            // Spelled otherwise on disk (Windows finds a name in any case), or not there.
            const xFileInfo info = files.GetFileInfo(EntryPath(job, entries[i]));
            if (info.Exists() && !info.IsDirectory() && info.Size >= 0)
                stamps[i] = StampOf(info);
        }
    }
    return stamps;
}

ClientSurvey SurveyClient(const UpdateContext& context, const PackageJob& job, const Manifest& manifest)
{
    ClientSurvey survey;
    survey.Safe.Package = manifest.Package;
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
    survey.ManifestHash = ManifestHash(context, job);
    VerifiedState head;
    const std::unordered_map<std::string, VerifiedFile> vouched = LoadVerifiedState(context, job, head);
    // Taken before any file is read: a file changed while it is hashed shows another stamp at the end.
    survey.Stamps = StampFiles(context.Files, job, survey.Safe.Entries);
    survey.Verified.assign(survey.Safe.Entries.size(), false);
    size_t trusted = 0;
    size_t read = 0;
    for (size_t i = 0; i < survey.Safe.Entries.size(); ++i)
    {
        const ManifestEntry& entry = survey.Safe.Entries[i];
        const ExpectedContent expected = ExpectedOf(entry);
        const auto recorded = vouched.find(Utf8Name(entry.Name));
        if (survey.Stamps[i] && recorded != vouched.end() &&
            Vouches(recorded->second, expected, *survey.Stamps[i]))
        {
            survey.Verified[i] = true;
            ++trusted;
            continue;
        }
        // A missing file or one of another size is found stale without a read.
        read += survey.Stamps[i] && survey.Stamps[i]->Size == expected.Size ? 1 : 0;
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
    survey.RecordCurrent = trusted == survey.Safe.Entries.size() && vouched.size() == trusted &&
                           head.Version == Utf8Name(xWString(job.ManifestName)) &&
                           head.ManifestHash == survey.ManifestHash;
    return survey;
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
                         const std::vector<bool>& written)
{
    const xEngineFileSystem& files = context.Files;
    const std::vector<std::optional<FileStamp>> now = StampFiles(files, job, survey.Safe.Entries);
    VerifiedState state;
    state.Version = Utf8Name(xWString(job.ManifestName));
    state.ManifestHash = survey.ManifestHash;
    size_t changed = 0;
    for (size_t i = 0; i < survey.Safe.Entries.size(); ++i)
    {
        // A file changed since it was read is left to be read next time; one
        // the update wrote was checked before it took its name.
        const bool sameAsRead =
            survey.Verified[i] && survey.Stamps[i] && now[i] && *survey.Stamps[i] == *now[i];
        if (!now[i] || (!written[i] && !sameAsRead))
        {
            ++changed;
            continue;
        }
        const ManifestEntry& entry = survey.Safe.Entries[i];
        state.Files.push_back(VerifiedFileOf(Utf8Name(entry.Name), ExpectedOf(entry), *now[i]));
    }
    if (changed > 0)
        LogLine("%llu client files changed while they were checked; the next check reads them",
                Count(changed));
    // The record vouches for bytes on the disk, not in its cache: flushed first
    // (natively the whole volume at once; on Windows each file before its close).
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
