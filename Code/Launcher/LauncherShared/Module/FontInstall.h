#pragma once

#include "UpdateContext.h"

#include "xString.h"

#include <atomic>
#include <cstdint>

// The SimHei font the game draws its texts with. When the system's font folder
// lacks it and no good copy lies in the launcher's folder, a packed copy
// (simhei.fnt, one Lzma86 container) is fetched from the client base URL and
// unpacked there as simhei.ttf, on a thread of its own beside the package
// update. The font is not registered with the system: the game loads it from
// the file.

// The one version of the font the game is made for (CRC-32C, start 0).
constexpr uint32_t FontCrc32c = 0x03487F00;
// Downloads per run before the installation gives up and the game starts without it.
constexpr int FontInstallAttempts = 3;

enum FontInstallStates : int32_t
{
    FontInstallNotNeeded = 0, // the font was there (or nothing checked yet)
    FontInstallRunning = 1,
    FontInstallDone = 2,
    // Every attempt failed (the log says why): the game starts without the font.
    FontInstallFailed = 3,
};

// Written by the font thread (and by the start before it runs), read by the
// user-interface thread on every tick.
extern std::atomic<int32_t> FontInstallState;
// Bytes of simhei.fnt received in the current attempt, and its size on the server.
extern std::atomic<uint64_t> FontBytesReceived;
extern std::atomic<uint64_t> FontFileSize;

struct FontPlaces
{
    // Empty where the system has no font folder.
    xWString SystemFont;
    xWString LocalFont;
    xString PackedUrl;
    // Where DownloadFile puts the packed font.
    xWString PackedFile;
};

// The places for this process: the system's font folder, the download folder
// of `context` (the launcher's own unless moved) and the client base URL.
FontPlaces FontPlacesFor(const UpdateContext& context, const xString& clientBaseUrl);

// False when the system font exists, or the local one can be read whole and has
// FontCrc32c.
bool FontNeedsInstall(const UpdateContext& context, const FontPlaces& places);

// Checks the font and, when it is needed, starts the font thread (state
// Running); otherwise the state stays NotNeeded. Called once by the start-up;
// `context` outlives the thread.
void StartFontInstall(const UpdateContext& context, const FontPlaces& places);

// The thread's work: up to FontInstallAttempts downloads, each unpacked and
// checked; ends in Done or Failed. Returns 0.
int FontInstallThread(const UpdateContext& context, const FontPlaces& places);

// The font is being fetched: the game start waits.
bool IsFontInstalling();

// Back to a fresh process's values (tests start each case from them).
void ResetFontInstall();
