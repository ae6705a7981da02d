#pragma once

#include "xString.h"

// The player's "clear cache" button: removes the loose downloads beside the
// launcher (packages, manifests, unfinished downloads) and the top-level client
// files of the publish folder, so that the next update finds them missing and
// fetches them again. Executables, fonts and the player's settings stay.

// True for a file beside the launcher that cleaning keeps: ".exe", ".fnt",
// ".ttf" and ".ttc" (letter case ignored), "Setting.ini" and the accepted
// version serial ("ClientVersionSerial.txt").
bool KeptBesideLauncher(const xWString& path);

// True for a top-level file of the publish folder that cleaning keeps: ".exe"
// (letter case ignored) and the folder's lock, "PackageLock.ins".
bool KeptInPublishFolder(const xWString& path);

struct CacheCleanCount
{
    int Deleted = 0;
    int Kept = 0;
    // Held by another open (the log, another launcher's lock or download, and
    // that download's resume record) or otherwise not deletable.
    int Failed = 0;
};

// Deletes what cleaning removes directly in `launcherFolder` and directly in
// `publishFolder` (both folder paths ending in "/"); sub-folders and the files
// in them are left alone. The caller makes sure no update writes meanwhile.
CacheCleanCount CleanCacheIn(const xWString& launcherFolder, const xWString& publishFolder);
