#include "LauncherDownload.h"
#include "PackageWorkerInternal.h"
#include "UpdateSignature.h"

#include "xLogLine.h"

#include <cstdint>

namespace PackageWorkerInternal
{
namespace
{
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

// The container's entries, and under a key all of them named by SHA-256.
ManifestRead ParseContainer(const std::vector<uint8_t>& container, const xString& name, Manifest& manifest)
{
    manifest = Manifest();
    if (!ReadManifestContainer(container, manifest))
        return ManifestRead::Broken;
    if (GetUpdateVerifier().IsOn() && !NamesEverySha256(manifest, name))
    {
        manifest = Manifest();
        return ManifestRead::Unhashed;
    }
    return ManifestRead::Read;
}

// With signed updates on, the bytes are taken only under a good signature for
// the manifest's own name, so another version's manifest is refused too. The
// file the verified state was made from is hashed but not unpacked.
ManifestRead LoadManifest(UpdateContext& context, const xWString& path, const xString& url,
                          const xString& name, const Sha256Digest* vouched, FetchedManifest& fetched)
{
    fetched = FetchedManifest();
    std::vector<uint8_t> container;
    if (!context.Files.ReadWholeFile(path, INT64_MAX, container))
        return ManifestRead::Missing;
    if (!CheckUpdateSignature(url, name, container.data(), container.size()))
        return ManifestRead::Refused;
    const std::optional<Sha256Digest> hash = Sha256::Of(container.data(), container.size());
    fetched.Hash = hash.value_or(Sha256Digest{});
    if (hash && vouched && *vouched == *hash)
    {
        fetched.Container = std::move(container);
        return ManifestRead::Read;
    }
    fetched.Parsed = true;
    return ParseContainer(container, name, fetched.Content);
}
} // namespace

ManifestRead FetchManifest(UpdateContext& context, const PackageJob& job, const PackageRetryPolicy& policy,
                           const Sha256Digest* vouched, FetchedManifest& fetched)
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
        const xWString transfer = TransferFile(context, url, options).Temporary;
        context.Progress.CrcEndTime = Now();
        const ManifestRead read = LoadManifest(context, transfer.IsEmpty() ? path : transfer, url,
                                               job.ManifestName, vouched, fetched);
        if (!transfer.IsEmpty() && !(read == ManifestRead::Read && MoveFetchedFile(context, transfer, path)))
            files.DeleteFileEx(transfer, false, false);
        if (read == ManifestRead::Read)
            return read;
        if (read == ManifestRead::Refused || read == ManifestRead::Unhashed)
        {
            // An earlier run's copy refused now (a key since added) goes too.
            if (transfer.IsEmpty())
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

ManifestRead ParseFetchedManifest(FetchedManifest& fetched, const xString& name)
{
    if (fetched.Parsed)
        return ManifestRead::Read;
    fetched.Parsed = true;
    const ManifestRead read = ParseContainer(fetched.Container, name, fetched.Content);
    fetched.Container = std::vector<uint8_t>();
    if (read == ManifestRead::Broken)
        LogErrorLine("Manifest %s cannot be unpacked or read", name.c_str());
    return read;
}
} // namespace PackageWorkerInternal
