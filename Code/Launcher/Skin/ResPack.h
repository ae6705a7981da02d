#pragma once

#include "ResPackFormat.h"

// The skin documents, images and icon that travel inside the executable as one
// Lzma86-packed resource. Filled once on the main thread at start-up; lookups
// only read and may come from any thread.
class ResPack
{
public:
    // Reads the executable's own pack and replaces all contents with it. Without
    // a pack resource nothing changes and nothing is logged.
    void Load();
    // Replaces all contents with the pack in an Lzma86 container, or with
    // nothing (and one error line) when the container or the pack is damaged.
    bool LoadFromContainer(const uint8_t* data, size_t length);
    // The same for a pack that is already unpacked.
    bool LoadFromImage(std::vector<uint8_t> image);

    // A copy of the member's bytes; false, with `bytes` untouched, for an unknown
    // name. Names match ignoring the case of A-Z only.
    bool GetFile(const xWString& name, std::vector<uint8_t>& bytes) const;
    // Writes the member to `path`, creating or truncating it; false when the name
    // is unknown or the file cannot be opened.
    bool ExtractFile(const xWString& name, const xWString& path) const;

    const ResPackHeader& Header() const { return HeaderWords; }
    const std::vector<xWString>& Names() const { return MemberNames; }
    const std::vector<uint32_t>& Offsets() const { return MemberOffsets; }
    const std::vector<uint32_t>& Sizes() const { return MemberSizes; }

private:
    // Index of the first member of that name, or -1.
    ptrdiff_t Find(const xWString& name) const;
    void Clear();

    std::vector<uint8_t> Image;
    ResPackHeader HeaderWords;
    std::vector<xWString> MemberNames;
    std::vector<uint32_t> MemberOffsets;
    std::vector<uint32_t> MemberSizes;
    // Carried by the format and kept, never consulted.
    std::vector<uint32_t> MemberSecondSizes;
};

// The process's one pack; it lives until the process ends.
ResPack& TheResPack();

// The pack resource's bytes as the platform stores them with the executable;
// false when there is none (or it is empty).
bool ReadResPackResource(std::vector<uint8_t>& container);
