// Any bytes as the manifest's XML. A refused text leaves no manifest behind; an
// accepted one, written out again by the publisher's writer (WriteManifestXml),
// reads back to the same package and entries, their sums included.
#include "FuzzCheck.h"
#include "Manifest.h"

#include <string>

namespace
{
bool SameEntry(const ManifestEntry& a, const ManifestEntry& b)
{
    return a.Name == b.Name && a.XxPresent == b.XxPresent && a.OrigSize == b.OrigSize &&
           a.OrigCrc32c == b.OrigCrc32c && a.Xx == b.Xx && a.StartPos == b.StartPos &&
           a.DataSize == b.DataSize && a.Compressed == b.Compressed && a.Sha256Present == b.Sha256Present &&
           a.Sha256 == b.Sha256;
}

bool SamePackage(const PackageInfo& a, const PackageInfo& b)
{
    return a.TotalSize == b.TotalSize && a.Crc32c == b.Crc32c && a.XxPresent == b.XxPresent && a.Xx == b.Xx &&
           a.Sha256Present == b.Sha256Present && a.Sha256 == b.Sha256;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Manifest manifest;
    manifest.Entries.resize(1);
    if (!ParseManifestXml(data, size, manifest))
    {
        FUZZ_CHECK(manifest.Entries.empty() && manifest.Package.TotalSize == 0 &&
                   !manifest.Package.XxPresent && !manifest.Package.Sha256Present);
        return 0;
    }
    // Each entry is an element of its own, so each took at least "<file/>" of the text.
    FUZZ_CHECK(manifest.Entries.size() * 7 <= size);

    const std::string rewritten = WriteManifestXml(manifest);
    Manifest again;
    FUZZ_CHECK(ParseManifestXml(reinterpret_cast<const uint8_t*>(rewritten.data()), rewritten.size(), again));
    FUZZ_CHECK(SamePackage(again.Package, manifest.Package));
    FUZZ_CHECK(again.Entries.size() == manifest.Entries.size());
    for (size_t i = 0; i < again.Entries.size(); ++i)
        FUZZ_CHECK(SameEntry(again.Entries[i], manifest.Entries[i]));

    // A number in the text reads as itself, with blanks before it or not.
    if (size >= 4)
    {
        const uint32_t value = static_cast<uint32_t>(data[0] | (data[1] << 8) | (data[2] << 16)) |
                               (static_cast<uint32_t>(data[3]) << 24);
        const std::string text = (data[0] & 1 ? " " : "") + std::to_string(value);
        FUZZ_CHECK(ReadManifestNumber(text.data(), text.size()) == value);
    }
    return 0;
}
