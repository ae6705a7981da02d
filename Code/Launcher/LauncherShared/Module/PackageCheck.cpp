#include "PackageCheck.h"
#include "Crc32c.h"
#include "LauncherDownload.h"
#include "VerifiedStateFormat.h"
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

ExpectedContent ExpectedOf(const ManifestEntry& entry)
{
    return {entry.OrigSize, entry.OrigCrc32c, entry.XxPresent, entry.Xx, entry.Sha256Present, entry.Sha256};
}

ExpectedContent ExpectedOf(const PackageInfo& package)
{
    return {package.TotalSize, package.Crc32c,        package.XxPresent,
            package.Xx,        package.Sha256Present, package.Sha256};
}

ContentCheck::ContentCheck(const ExpectedContent& expected)
    : Expected(expected), Strong(expected.Sha256Present ? std::make_unique<Sha256>() : nullptr)
{
}

ContentCheck::~ContentCheck() = default;

void ContentCheck::Add(const void* data, size_t length)
{
    Length += length;
    if (Expected.XxPresent)
        Xx.Update(data, length);
    else
        Crc = Crc32c(data, length, Crc);
    if (Strong)
        Strong->Update(data, length);
}

bool ContentCheck::Matches()
{
    if (Length != Expected.Size || (Expected.XxPresent ? Xx.Digest() != Expected.Xx : Crc != Expected.Crc32c))
        return false;
    if (!Strong)
        return true;
    const std::optional<Sha256Digest> digest = Strong->Finish();
    return digest && *digest == Expected.Sha256;
}

bool VerifyOpenFile(xFile& file, const ExpectedContent& expected)
{
    const int64_t size = file.GetSize();
    if (size < 0 || static_cast<uint64_t>(size) != expected.Size || !file.Seek(0))
        return false;
    // Most client files are small: no 1 MiB buffer for a 1 KiB file. Left
    // uninitialised, as every byte is read into before it is summed.
    const size_t pieceSize = static_cast<size_t>(std::min<uint64_t>(expected.Size, VerifyPieceSize));
    std::unique_ptr<uint8_t[]> piece(new uint8_t[pieceSize]);
    ContentCheck check(expected);
    for (uint64_t left = expected.Size; left > 0;)
    {
        const size_t count = left < pieceSize ? static_cast<size_t>(left) : pieceSize;
        if (!file.Read(piece.get(), static_cast<int64_t>(count)))
            return false;
        check.Add(piece.get(), count);
        left -= count;
    }
    return check.Matches();
}

bool VerifyFile(const xEngineFileSystem& files, const xWString& path, const ExpectedContent& expected)
{
    // The size first: a file of another size is not even opened.
    const int64_t size = files.GetFileSize(path);
    if (size < 0 || static_cast<uint64_t>(size) != expected.Size)
        return false;
    // Whole pieces straight into our buffer: the read-ahead reader would copy each byte once more.
    std::unique_ptr<xFile> file = files.OpenReadPlain(path, true);
    return file && VerifyOpenFile(*file, expected);
}

bool VerifyFile(const xEngineFileSystem& files, const xWString& path, uint64_t expectedSize,
                uint32_t expected, bool useXx)
{
    ExpectedContent content;
    content.Size = expectedSize;
    content.XxPresent = useXx;
    (useXx ? content.Xx : content.Crc32c) = expected;
    return VerifyFile(files, path, content);
}

bool IsReservedClientName(const xWString& name)
{
    for (const char16_t* reserved : {VerifiedStateFormat::RecordName, VerifiedStateFormat::TemporaryName})
    {
        if (EqualsNoCase(name, xWString(reserved)))
            return true;
    }
    return false;
}

bool IsSafeManifestName(const xWString& name)
{
    if (name.IsEmpty() || name.Length() > MaxManifestNameLength || name[0] == u'/' ||
        IsReservedClientName(name))
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
