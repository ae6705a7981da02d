#include "ResPack.h"
#include "ResPackResourceId.h"

#include <windows.h>

bool ReadResPackResource(std::vector<uint8_t>& container)
{
    // The executable's own module; FindResourceW takes any language and ignores
    // the case of the type name.
    HMODULE self = ::GetModuleHandleW(nullptr);
    HRSRC found = ::FindResourceW(self, MAKEINTRESOURCEW(RESPACK_RESOURCE_ID), L"ResPack");
    if (found == nullptr)
        return false;
    const DWORD size = ::SizeofResource(self, found);
    if (size == 0)
        return false;
    HGLOBAL loaded = ::LoadResource(self, found);
    if (loaded == nullptr)
        return false;
    const uint8_t* bytes = static_cast<const uint8_t*>(::LockResource(loaded));
    if (bytes == nullptr)
        return false;
    // A module's resources stay mapped as long as the module; there is nothing to release.
    container.assign(bytes, bytes + size);
    return true;
}
