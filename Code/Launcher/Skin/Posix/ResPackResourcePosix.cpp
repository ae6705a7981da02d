#include "ResPack.h"

// The packed skin, linked into the program by the build (ResPackData.c).
extern "C" const uint8_t LauncherResPackBegin[];
extern "C" const uint8_t LauncherResPackEnd[];

bool ReadResPackResource(std::vector<uint8_t>& container)
{
    const size_t size = static_cast<size_t>(reinterpret_cast<uintptr_t>(LauncherResPackEnd) -
                                            reinterpret_cast<uintptr_t>(LauncherResPackBegin));
    if (size == 0)
        return false;
    container.assign(LauncherResPackBegin, LauncherResPackBegin + size);
    return true;
}
