#include "FontInstall.h"
#include "Crc32c.h"
#include "LauncherDownload.h"
#include "LauncherFiles.h"
#include "Lzma86.h"
#include "PackageCheck.h"

#include "xFile.h"
#include "xLogLine.h"
#include "xSystemPaths.h"
#include "xTextConversion.h"

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

bool ReadWhole(const xWString& path, std::vector<uint8_t>& bytes)
{
    const xEngineFileSystem& files = LauncherFiles();
    const int64_t size = files.GetFileSize(path);
    std::unique_ptr<xFile> file = size < 0 ? nullptr : files.OpenRead(path, true);
    if (!file)
        return false;
    bytes.resize(static_cast<size_t>(size));
    return size == 0 || file->Read(bytes.data(), size);
}

// Through a temporary name, so that a launcher killed while writing never
// leaves half a font under the name the game opens.
bool PutFontInPlace(const xWString& path, const std::vector<uint8_t>& font)
{
    const xEngineFileSystem& files = LauncherFiles();
    const xWString temporary = path + u".td";
    std::unique_ptr<xFile> file = files.OpenWrite(temporary, false, false);
    if (!file)
        return false;
    const bool written = file->Write(font.data(), static_cast<int64_t>(font.size()));
    file->Close();
    file.reset();
    if (written && files.MoveReplacing(path, temporary))
        return true;
    files.DeleteFile(temporary);
    return false;
}

// One download, unpacking and check; the reason it failed, or null.
const char* TryInstall(const FontPlaces& places)
{
    FontBytesReceived = 0;
    DownloadFile(places.PackedUrl, &FontBytesReceived, &FontFileSize);
    std::vector<uint8_t> packed;
    if (!ReadWhole(places.PackedFile, packed))
        return "simhei.fnt could not be fetched";
    std::vector<uint8_t> font;
    if (!DecodeLzma86(packed.data(), packed.size(), font))
        return "simhei.fnt cannot be unpacked";
    // Another version of the font never takes the place of the one on disk.
    if (Crc32c(font.data(), font.size()) != FontCrc32c)
        return "the unpacked font has another checksum";
    if (!PutFontInPlace(places.LocalFont, font))
        return "simhei.ttf cannot be written";
    if (FontNeedsInstall(places))
        return "simhei.ttf does not read back whole";
    return nullptr;
}
} // namespace

FontPlaces FontPlacesFor(const xString& clientBaseUrl)
{
    FontPlaces places;
    const xWString systemFolder = GetSystemFontDirectory();
    if (!systemFolder.IsEmpty())
        places.SystemFont = systemFolder + Utf8ToWide(FontName);
    places.LocalFont = GetDownloadFolder() + Utf8ToWide(FontName);
    places.PackedUrl = clientBaseUrl + PackedName;
    places.PackedFile = GetDownloadFolder() + Utf8ToWide(PackedName);
    return places;
}

bool FontNeedsInstall(const FontPlaces& places)
{
    const xEngineFileSystem& files = LauncherFiles();
    if (!places.SystemFont.IsEmpty() && files.IsFile(places.SystemFont))
        return false;
    const int64_t size = files.GetFileSize(places.LocalFont);
    return size < 0 || !VerifyFile(places.LocalFont, static_cast<uint64_t>(size), FontCrc32c, false);
}

void StartFontInstall(const FontPlaces& places)
{
    if (!FontNeedsInstall(places))
    {
        FontInstallState = FontInstallNotNeeded;
        return;
    }
    LogLine("Installing the font from %s", places.PackedUrl.c_str());
    FontInstallState = FontInstallRunning;
    try
    {
        std::thread(FontInstallThread, places).detach();
    }
    catch (const std::system_error&)
    {
        LogErrorLine("Font installation failed: no thread could be created");
        FontInstallState = FontInstallFailed;
    }
}

int FontInstallThread(const FontPlaces& places)
{
    for (int attempt = 1; attempt <= FontInstallAttempts; ++attempt)
    {
        const char* failure = TryInstall(places);
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
