#include "PublishDir.h"

#include "LauncherFiles.h"

#include "xLogLine.h"
#include "xPath.h"
#include "xProcessSetup.h"
#include "xSystemPaths.h"

#include <mutex>
#include <string>

namespace
{
const char16_t* const LockFileName = u"PackageLock.ins";
const char16_t* const NoFolderCaption = u"微端";
const char16_t* const NoFolderText = u"无法创建游戏目录，请关闭其他微端，或检查微端所在文件夹是否可写。";

// Claimed on the main thread during start-up; an exit path on another thread
// (the self-update) may close the lock at any time.
struct PublishState
{
    std::mutex Mutex;
    xWString Folder;
    std::unique_ptr<xFile> Lock;
};

PublishState& State()
{
    static PublishState state;
    return state;
}
} // namespace

xWString PublishFolderName(unsigned attempt)
{
    if (attempt == 0)
        return u"Publish/";
    const std::string number = std::to_string(attempt - 1);
    return xWString(u"Publish") + xWString(xString(number.c_str())) + u"/";
}

PublishClaim ClaimPublishFolder(const xWString& baseFolder)
{
    PublishClaim claim;
    // Without a base the candidates would land in whatever folder is current.
    if (baseFolder.IsEmpty())
        return claim;
    const xWString base = NormalisePath(AsDirectoryPath(baseFolder));
    if (base.IsEmpty())
        return claim;
    const xEngineFileSystem& files = LauncherFiles();
    for (unsigned attempt = 0; attempt < PublishFolderAttempts; ++attempt)
    {
        const xWString folder = base + PublishFolderName(attempt);
        files.CreateDirectory(folder, true);
        std::unique_ptr<xFile> lock = files.OpenWrite(folder + LockFileName, false, false);
        if (lock)
        {
            claim.Folder = folder;
            claim.Lock = std::move(lock);
            break;
        }
    }
    return claim;
}

xWString PublishDirIn(const xWString& baseFolder, xMessageBoxFunction showError)
{
    PublishState& state = State();
    {
        std::lock_guard<std::mutex> guard(state.Mutex);
        if (!state.Folder.IsEmpty())
            return state.Folder;
        PublishClaim claim = ClaimPublishFolder(baseFolder);
        if (!claim.Folder.IsEmpty())
        {
            state.Folder = claim.Folder;
            state.Lock = std::move(claim.Lock);
            return state.Folder;
        }
    }
    LogErrorLine("PublishDir: no free publish folder (Publish/, Publish0/ to Publish%u/) in %s",
                 PublishFolderAttempts - 2, xString(baseFolder).c_str());
    if (showError != nullptr)
        showError(NoFolderText, NoFolderCaption);
    QuitLauncher();
}

xWString PublishDir()
{
    return PublishDirIn(GetModuleDirectory());
}

void ClosePublishLock()
{
    PublishState& state = State();
    std::lock_guard<std::mutex> guard(state.Mutex);
    state.Lock.reset();
}

void QuitLauncher()
{
    ClosePublishLock();
    TerminateThisProcess(0);
}
