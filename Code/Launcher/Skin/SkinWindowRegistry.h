#pragma once

#include <cstddef>
#include <vector>

class SkinWindow;
class xNativeWindow;

// Which skinned window each native window belongs to, so that window events
// reach the skin. Main thread only.
class SkinWindowRegistry
{
public:
    // An entry for the same native window stays as it is.
    void Add(xNativeWindow* native, SkinWindow* skin);
    void Remove(const SkinWindow* skin);
    // Null when the native window is none of a skin's.
    SkinWindow* Find(const xNativeWindow* native) const;
    // The same, by the native window's system handle; null finds nothing.
    SkinWindow* FindByHandle(const void* handle) const;
    size_t Count() const { return Entries.size(); }

private:
    struct Entry
    {
        xNativeWindow* Native;
        SkinWindow* Skin;
        // Kept apart: the system may have destroyed the native window object already
        // when the last messages of its handle arrive.
        void* Handle;
    };
    std::vector<Entry> Entries;
};

SkinWindowRegistry& TheSkinWindowRegistry();
