#include "SkinWindowRegistry.h"

#include "xNativeWindow.h"

#include <algorithm>

void SkinWindowRegistry::Add(xNativeWindow* native, SkinWindow* skin)
{
    if (native == nullptr || Find(native) != nullptr)
        return;
    Entries.push_back({native, skin, native->Handle()});
}

void SkinWindowRegistry::Remove(const SkinWindow* skin)
{
    Entries.erase(std::remove_if(Entries.begin(), Entries.end(),
                                 [&](const Entry& entry) { return entry.Skin == skin; }),
                  Entries.end());
}

SkinWindow* SkinWindowRegistry::Find(const xNativeWindow* native) const
{
    for (const Entry& entry : Entries)
        if (entry.Native == native)
            return entry.Skin;
    return nullptr;
}

SkinWindow* SkinWindowRegistry::FindByHandle(const void* handle) const
{
    if (handle == nullptr)
        return nullptr;
    for (const Entry& entry : Entries)
        if (entry.Handle == handle)
            return entry.Skin;
    return nullptr;
}

SkinWindowRegistry& TheSkinWindowRegistry()
{
    static SkinWindowRegistry registry;
    return registry;
}
