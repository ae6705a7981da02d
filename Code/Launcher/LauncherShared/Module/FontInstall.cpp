#include "FontInstall.h"
#include "Crc32c.h"
#include "LauncherDownload.h"
#include "Lzma86.h"
#include "PackageCheck.h"
#include "UpdateSignature.h"

#include "xFile.h"
#include "xLogLine.h"
#include "xPath.h"
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include <chrono>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

std::atomic<int32_t> FontInstallState{FontInstallNotNeeded};
std::atomic<uint64_t> FontBytesReceived{0};
std::atomic<uint64_t> FontFileSize{0};

namespace
{
const char* const FontName = "simhei.ttf";
const char* const PackedName = "simhei.fnt";
// Held (open with no sharing) by the one launcher that fetches the font, so
// that two launchers started together never write the same files.
const char16_t* const LockName = u"FontLock.ins";
constexpr std::chrono::milliseconds LockPause(250);
constexpr int LockTries = 480; // two minutes
// Far above any font; a server that sends more is not sending a font.
constexpr int64_t PackedFontMaxSize = 64 << 20;

// The packed font's bytes as they came, from the temporary file the transfer
// left (`temporary`), or the reason they are not taken. In a build with a key
// they need the publisher's signature (fetched first: a font without one is
// not downloaded), checked over the very bytes that are then unpacked: font
// parsers are a known way in, and a CRC-32C is chosen at will.
const char* FetchPacked(const UpdateContext& context, const FontPlaces& places, std::vector<uint8_t>& packed,
                        xWString& temporary)
{
    std::vector<uint8_t> signature;
    if (!FetchUpdateSignature(places.PackedUrl, PackedName, signature))
        return "simhei.fnt's signature was refused";
    FontBytesReceived = 0;
    TransferOptions options;
    options.Received = &FontBytesReceived;
    options.Size = &FontFileSize;
    options.MaxSize = PackedFontMaxSize;
    options.Rename = false;
    temporary = TransferFile(context, places.PackedUrl, options).Temporary;
    if (temporary.IsEmpty() || !context.Files.ReadWholeFile(temporary, PackedFontMaxSize, packed))
        return "simhei.fnt could not be fetched";
    if (CheckFetchedSignature(PackedName, packed.data(), packed.size(), signature))
        return nullptr;
    return "simhei.fnt's signature was refused";
}

// The packed font and the font, each checked before it takes its name.
const char* Install(const UpdateContext& context, const FontPlaces& places, xWString& temporary)
{
    std::vector<uint8_t> packed;
    if (const char* failure = FetchPacked(context, places, packed, temporary))
        return failure;
    std::vector<uint8_t> font;
    if (!DecodeLzma86(packed.data(), packed.size(), font))
        return "simhei.fnt cannot be unpacked";
    // Another version of the font never takes the place of the one on disk.
    if (Crc32c(font.data(), font.size()) != FontCrc32c)
        return "the unpacked font has another checksum";
    // The packed copy stays beside the launcher; the font is unpacked from the
    // bytes checked, not read again.
    MoveFetchedFile(context, temporary, places.PackedFile);
    // Through a temporary name: a launcher killed while writing never leaves
    // half a font under the name the game opens.
    const xWString& local = places.LocalFont;
    if (!context.Files.WriteThroughTemporary(local, local + u".td", font.data(), int64_t(font.size()), false))
        return "simhei.ttf cannot be written";
    if (FontNeedsInstall(context, places))
        return "simhei.ttf does not read back whole";
    return nullptr;
}

// One download, check and unpacking; the reason it failed, or null. Nothing
// of a failed try stays behind.
const char* TryInstall(const UpdateContext& context, const FontPlaces& places)
{
    xWString temporary;
    const char* failure = Install(context, places, temporary);
    if (!temporary.IsEmpty())
        context.Files.DeleteFileEx(temporary, false, false);
    return failure;
}
} // namespace

FontPlaces FontPlacesFor(const UpdateContext& context, const xString& clientBaseUrl)
{
    FontPlaces places;
    const xWString systemFolder = GetSystemFontDirectory();
    if (!systemFolder.IsEmpty())
        places.SystemFont = systemFolder + Utf8ToWide(FontName);
    places.LocalFont = context.GetDownloadFolder() + Utf8ToWide(FontName);
    places.PackedUrl = clientBaseUrl + PackedName;
    places.PackedFile = context.GetDownloadFolder() + Utf8ToWide(PackedName);
    return places;
}

bool FontNeedsInstall(const UpdateContext& context, const FontPlaces& places)
{
    const xEngineFileSystem& files = context.Files;
    if (!places.SystemFont.IsEmpty() && files.IsFile(places.SystemFont))
        return false;
    const int64_t size = files.GetFileSize(places.LocalFont);
    return size < 0 || !VerifyFile(files, places.LocalFont, static_cast<uint64_t>(size), FontCrc32c, false);
}

void StartFontInstall(const UpdateContext& context, const FontPlaces& places)
{
    if (!FontNeedsInstall(context, places))
    {
        FontInstallState = FontInstallNotNeeded;
        return;
    }
    LogLine("Installing the font from %s", places.PackedUrl.c_str());
    FontInstallState = FontInstallRunning;
    try
    {
        std::thread([&context, places] { FontInstallThread(context, places); }).detach();
    }
    catch (const std::system_error&)
    {
        LogErrorLine("Font installation failed: no thread could be created");
        FontInstallState = FontInstallFailed;
    }
}

namespace
{
// The font lock, once no other launcher holds it; null after two minutes, or
// at once when the lock file cannot be made (the install then goes ahead
// without it). A launcher that waited may find the font in place when it gets
// the lock.
std::unique_ptr<xFile> TakeFontLock(const UpdateContext& context, const FontPlaces& places)
{
    const xEngineFileSystem& files = context.Files;
    const xWString path = GetParentPath(places.PackedFile) + LockName;
    for (int attempt = 0; attempt < LockTries; ++attempt)
    {
        if (std::unique_ptr<xFile> lock = files.OpenWrite(path, false, false))
            return lock;
        // A folder we cannot write to, or a lock file made read-only: no other
        // launcher holds it, so there is nothing to wait for.
        if (!files.IsFile(path) || files.IsReadOnly(path))
        {
            LogErrorLine("The font lock %s cannot be created; installing without it", xString(path).c_str());
            return nullptr;
        }
        if (attempt == 0)
            LogLine("Another launcher is installing the font; waiting for it");
        std::this_thread::sleep_for(LockPause);
    }
    LogErrorLine("The font lock stayed taken for two minutes; installing without it");
    return nullptr;
}
} // namespace

int FontInstallThread(const UpdateContext& context, const FontPlaces& places)
{
    const std::unique_ptr<xFile> lock = TakeFontLock(context, places);
    if (!FontNeedsInstall(context, places))
    {
        LogLine("Font installed: %s", xString(places.LocalFont).c_str());
        FontInstallState = FontInstallDone;
        return 0;
    }
    for (int attempt = 1; attempt <= FontInstallAttempts; ++attempt)
    {
        const char* failure = TryInstall(context, places);
        if (failure == nullptr)
        {
            LogLine("Font installed: %s", xString(places.LocalFont).c_str());
            FontInstallState = FontInstallDone;
            return 0;
        }
        LogErrorLine("Font installation attempt %d of %d failed: %s", attempt, FontInstallAttempts, failure);
    }
    LogErrorLine("Font installation failed after %d attempts; the game starts without it",
                 FontInstallAttempts);
    FontInstallState = FontInstallFailed;
    return 0;
}

bool IsFontInstalling()
{
    return FontInstallState == FontInstallRunning;
}

void ResetFontInstall()
{
    FontInstallState = FontInstallNotNeeded;
    FontBytesReceived = 0;
    FontFileSize = 0;
}
