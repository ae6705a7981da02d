#include "CacheCleaner.h"

#include "LauncherFiles.h"
#include "SignedVersionFile.h"

#include "xLogLine.h"
#include "xPath.h"
#include "xStringOps.h"

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

void CleanFolder(const xWString& folder, bool (*keep)(const xWString&), CacheCleanCount& count)
{
    const xEngineFileSystem& files = LauncherFiles();
    std::vector<xWString> found;
    files.FindFiles(folder + u"*", found, true, false);
    for (const xWString& path : found)
    {
        if (keep(path))
        {
            ++count.Kept;
            continue;
        }
        if (files.DeleteFileEx(path, true, true))
            ++count.Deleted;
        else
            ++count.Failed;
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
