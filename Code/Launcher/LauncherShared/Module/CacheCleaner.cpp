#include "CacheCleaner.h"

#include "LauncherFiles.h"
#include "SignedVersionFile.h"

#include "xLogLine.h"
#include "xPath.h"
#include "xStringOps.h"

#include <algorithm>
#include <set>
#include <vector>

namespace
{
// The extension from the last "." of the last component, lower-cased (only
// A-Z fold); empty when the name has none.
xWString LowerExtension(const xWString& path)
{
    xWString extension = GetExtension(path);
    ToLowerAscii(extension);
    return extension;
}

bool HasExtension(const xWString& path, std::initializer_list<const char16_t*> kept)
{
    const xWString extension = LowerExtension(path);
    for (const char16_t* one : kept)
        if (extension == xWString(one))
            return true;
    return false;
}

// A resume record belongs to the download beside it with ".td" for ".resume".
xWString DownloadOfResumeRecord(const xWString& path)
{
    return RemoveExtension(path) + u".td";
}

// Deletes one candidate unless another open holds it; a resume record stays
// with its download when that download is held (the record itself is never
// kept open, so only its partner tells).
bool DeleteCandidate(const xEngineFileSystem& files, const xWString& path,
                     const std::set<xWString>& heldDownloads)
{
    if (LowerExtension(path) == xWString(u".resume") &&
        heldDownloads.count(DownloadOfResumeRecord(path)) != 0)
        return false;
    if (!files.IsFile(path))
        return false;
    if (files.IsReadOnly(path))
        files.SetReadOnly(path, false);
    return files.DeleteUnheldFile(path);
}

void CleanFolder(const xWString& folder, bool (*keep)(const xWString&), CacheCleanCount& count)
{
    const xEngineFileSystem& files = LauncherFiles();
    std::vector<xWString> found;
    files.FindFiles(folder + u"*", found, true, false);
    // Downloads before resume records, so that a held download keeps its record.
    std::stable_partition(found.begin(), found.end(),
                          [](const xWString& path) { return LowerExtension(path) != xWString(u".resume"); });
    std::set<xWString> heldDownloads;
    for (const xWString& path : found)
    {
        if (keep(path))
        {
            ++count.Kept;
            continue;
        }
        if (DeleteCandidate(files, path, heldDownloads))
        {
            ++count.Deleted;
            continue;
        }
        ++count.Failed;
        if (LowerExtension(path) == xWString(u".td"))
            heldDownloads.insert(path);
    }
}
} // namespace

bool KeptBesideLauncher(const xWString& path)
{
    // The boss key's setting is the player's own, not downloaded data.
    if (EqualsNoCase(GetFileName(path), xWString(u"Setting.ini")))
        return true;
    // Without it, a replayed older version file would be taken again.
    if (EqualsNoCase(GetFileName(path), xWString(xString(AcceptedSerialFileName))))
        return true;
    return HasExtension(path, {u".exe", u".fnt", u".ttf", u".ttc"});
}

bool KeptInPublishFolder(const xWString& path)
{
    // Deleting a held lock would let a second launcher claim the same folder.
    if (EqualsNoCase(GetFileName(path), xWString(u"PackageLock.ins")))
        return true;
    return HasExtension(path, {u".exe"});
}

CacheCleanCount CleanCacheIn(const xWString& launcherFolder, const xWString& publishFolder)
{
    CacheCleanCount count;
    CleanFolder(AsDirectoryPath(launcherFolder), KeptBesideLauncher, count);
    if (!publishFolder.IsEmpty())
        CleanFolder(AsDirectoryPath(publishFolder), KeptInPublishFolder, count);
    LogLine("Cache cleaned: %d files deleted, %d kept, %d in use", count.Deleted, count.Kept, count.Failed);
    return count;
}
