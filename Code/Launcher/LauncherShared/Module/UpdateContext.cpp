#include "UpdateContext.h"

#include "xFileSystem.h"
#include "xPath.h"
#include "xSystemPaths.h"

#include <algorithm>
#include <thread>

xWString UpdateContext::GetDownloadFolder() const
{
    return DownloadFolder.IsEmpty() ? GetModuleDirectory() : AsDirectoryPath(DownloadFolder);
}

int UpdateContext::GetDecoderCount() const
{
    if (DecoderCount > 0)
        return DecoderCount;
    // Where each file waits for its own flush before it takes its name (no
    // volume can be flushed at once), a decoder of small files mostly waits for
    // the disk, and the disk commits the flushes of several at once.
    if (!xFileSystem::CanFlushVolumes())
        return DefaultMaxPackageDecoders;
    // 0 when the machine does not say.
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, DefaultMaxPackageDecoders);
}
