#include "UpdateContext.h"

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
    // 0 when the machine does not say.
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    return std::clamp(cores, 1, DefaultMaxPackageDecoders);
}
