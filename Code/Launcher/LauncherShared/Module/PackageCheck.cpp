#include "PackageCheck.h"
#include "Crc32c.h"
#include "LauncherDownload.h"
#include "LauncherFiles.h"
#include "Xxh32.h"

#include "xFile.h"
#include "xStringOps.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
// Big enough to keep the disk busy, small enough to stay in the cache.
constexpr size_t VerifyPieceSize = 1 << 20;
} // namespace

bool VerifyFile(const xWString& path, uint64_t expectedSize, uint32_t expected, bool useXx)
{
    const xEngineFileSystem& files = LauncherFiles();
    const int64_t size = files.GetFileSize(path);
    if (size < 0 || static_cast<uint64_t>(size) != expectedSize)
        return false;
    // Whole pieces straight into our buffer: the read-ahead reader would copy each byte once more.
    std::unique_ptr<xFile> file = files.OpenReadPlain(path, true);
    if (!file)
        return false;
    // Most client files are small: no 1 MiB buffer for a 1 KiB file. Left
    // uninitialised, as every byte is read into before it is summed.
    const size_t pieceSize = static_cast<size_t>(std::min<uint64_t>(expectedSize, VerifyPieceSize));
    std::unique_ptr<uint8_t[]> piece(new uint8_t[pieceSize]);
    uint32_t crc = 0;
    Xxh32Stream xx;
    uint64_t left = expectedSize;
    while (left > 0)
    {
        const size_t count = left < pieceSize ? static_cast<size_t>(left) : pieceSize;
        if (!file->Read(piece.get(), static_cast<int64_t>(count)))
            return false;
        if (useXx)
            xx.Update(piece.get(), count);
        else
            crc = Crc32c(piece.get(), count, crc);
        left -= count;
    }
    return (useXx ? xx.Digest() : crc) == expected;
}

bool IsSafeManifestName(const xWString& name)
{
    if (name.IsEmpty() || name.Length() > MaxManifestNameLength || name[0] == u'/')
        return false;
    for (char16_t unit : name)
    {
        if (unit < 0x20 || unit == 0x7F)
            return false;
        if (unit < 0x80 && std::strchr("\\:*?\"<>|", static_cast<char>(unit)) != nullptr)
            return false;
    }
    std::vector<xWString> components;
    SplitText(name, xWString(u"/"), components);
    for (const xWString& component : components)
    {
        if (component.IsEmpty() || component == u"." || component == u"..")
            return false;
        // Windows drops a trailing dot or blank and opens devices by name.
        if (component.Last() == u'.' || component.Last() == u' ' || IsDeviceName(xString(component)))
            return false;
    }
    return true;
}

bool PrefersFullDownload(uint64_t neededBytes, uint64_t totalBytes)
{
    return static_cast<double>(neededBytes) > 0.5 * static_cast<double>(totalBytes);
}
