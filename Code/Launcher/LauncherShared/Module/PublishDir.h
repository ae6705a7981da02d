#pragma once

#include "xFile.h"
#include "xMessageBox.h"
#include "xString.h"

#include <memory>

// The publish folder: where this launcher process writes the game client. Each
// process claims one beside the launcher by holding "PackageLock.ins" in it open
// with no sharing, so two launchers running at once never write the same files.

// Tries per claim: "Publish/", then "Publish0/" up to "Publish99/".
constexpr unsigned PublishFolderAttempts = 101;

// The folder name of the attempt-th try: "Publish/" first, then "Publish" + n + "/"
// from n = 0 (folders beside "Publish/", not inside it).
xWString PublishFolderName(unsigned attempt);

struct PublishClaim
{
    xWString Folder; // base + name, ending in "/"; empty when every try failed
    std::unique_ptr<xFile> Lock;
};

// One search from `baseFolder` (a folder path), without caching: each candidate
// is created with all missing levels and its lock file opened for writing with
// no sharing, always created. The first that opens is claimed.
PublishClaim ClaimPublishFolder(const xWString& baseFolder);

// The process's publish folder: claimed in `baseFolder` on the first call and
// cached, so later calls return the first answer whatever they pass. When no
// candidate can be claimed (more than a hundred launchers, or a folder we may
// not write) an Error line is logged, `showError` is shown and the process quits.
xWString PublishDirIn(const xWString& baseFolder, xMessageBoxFunction showError = ShowErrorMessageBox);

// PublishDirIn beside the running executable (GetModuleDirectory).
xWString PublishDir();

// Lets go of the publish lock if it is held; the cached folder stays.
void ClosePublishLock();

// The launcher's one way out: closes the publish lock, then ends the process
// with exit code 0.
[[noreturn]] void QuitLauncher();
