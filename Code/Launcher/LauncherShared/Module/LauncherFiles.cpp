#include "LauncherFiles.h"

#include "xEngineContext.h"

const xEngineFileSystem& LauncherFiles()
{
    if (GEngineContext != nullptr && GEngineContext->FileSystem != nullptr)
        return *GEngineContext->FileSystem;
    // Never destroyed: a worker may still use it while the process ends.
    static const xEngineFileSystem* const local = new xEngineFileSystem();
    return *local;
}
