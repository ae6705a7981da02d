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
} // namespace

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
} // namespace PackageWorkerInternal
