#include "xModuleVersion.h"

#include <windows.h>

bool ReadModuleVersionResource(std::vector<uint8_t>& block)
{
    // GetModuleFileNameW truncates silently; a full buffer means a longer path.
    std::vector<wchar_t> path(MAX_PATH);
    for (;;)
    {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0)
            return false;
        if (length < path.size())
            break;
        path.resize(path.size() * 2);
    }
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.data(), &ignored);
    if (size == 0)
        return false;
    block.assign(size, 0);
    return GetFileVersionInfoW(path.data(), 0, size, block.data()) != FALSE;
}
