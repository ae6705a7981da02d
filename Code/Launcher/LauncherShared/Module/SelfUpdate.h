#pragma once

#include "UpdateContext.h"

#include "xFileHandle.h"
#include "xString.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

// The launcher replaces its own executable with a newer build. Three processes
// hand over through the command line: the old launcher downloads the new build
// as "<name><version>.exe" and starts it with "updating <old process id>"; that
// one waits for the old process to end, puts a copy of itself in the old
// launcher's place and starts it with "updated"; the restarted launcher removes
// the versioned copy and runs on. At every moment a launcher that starts lies
// under the old name or under the versioned name.

// "No newer launcher" (CheckLauncherVersion).
constexpr uint32_t NoNewerLauncher = 0xFFFFFFFFu;
// A build smaller than this is no launcher (an error page, a truncated file).
constexpr int64_t MinimumLauncherBytes = 200001;
// How long the new build waits for the old launcher to end, and then how long it
// keeps trying to replace the file that process may still hold.
constexpr uint32_t OldLauncherEndWaitMs = 30000;
constexpr int ReplaceAttempts = 20;
constexpr uint32_t ReplaceRetryMs = 250;
// How long the restarted launcher keeps trying to remove the versioned copy,
// which the ending "updating" process may still hold for a moment.
constexpr int VersionedCopyDeleteAttempts = 20;
constexpr uint32_t VersionedCopyDeleteRetryMs = 250;

// No launcher build comes near this size: a server that announces more is not
// sending one, and the download stops before it sets any space aside.
constexpr uint64_t MaxLauncherBytes = 64u << 20;
// Beside the launcher; held open with no sharing by the one launcher that runs
// the self-update here (the old build while it fetches and starts the new one,
// the new build while it takes the old one's place).
constexpr const char16_t* SelfUpdateLockName = u"SelfUpdateLock.ins";

// Progress of the new build's download, read by the splash screen.
extern std::atomic<uint64_t> LauncherBytesReceived;
extern std::atomic<uint64_t> LauncherFileSize;

// The running launcher's own version, from its executable's version resource
// (natively, and for a Windows executable without one, the build's version
// compiled in). Computed on the first call.
uint32_t LauncherVersionNumber();

// Asks `baseUrl` + "LauncherVersion.txt" for the newest version: that number
// when it is greater than `ownVersion`, else NoNewerLauncher (also when signed
// updates are on and the file's signature or its expiry is refused).
uint32_t CheckLauncherVersion(const UpdateContext& context, const xString& baseUrl, uint32_t ownVersion);

// Downloads `newVersion` from `baseUrl` beside the running launcher and starts
// it with "updating <our id>"; ends the process in every case. A file that is
// not whole, or (signed updates on) not signed for its name, is never started.
[[noreturn]] void SelfUpdateThread(const UpdateContext& context, const xString& baseUrl, uint32_t newVersion);

// The self-update lock in `folder` (the launcher's), tried `attempts` times a
// quarter of a second apart; null when another launcher holds it (logged with
// `otherwise`, what this one does instead) or it cannot be made at all.
std::unique_ptr<xFile> TakeSelfUpdateLock(const UpdateContext& context, const xWString& folder, int attempts,
                                          const char* otherwise);

// Fetches the build `url` names to `path` (the versioned name beside the
// launcher) and checks it: with signed updates on, its signature first (a
// build without one is not downloaded), then every byte the server announced
// (at most MaxLauncherBytes, more than 200000), then the signature over the
// bytes read from its temporary file held open with no sharing (OpenProgram),
// which only then takes the name `path`, through that handle (MoveHeldFile,
// from the download folder, which is the launcher's). Returns that handle, to
// start the build from while it stays open; null when anything failed, and
// then neither the file nor its temporary download is left.
std::unique_ptr<xFileHandle> FetchLauncherBuild(const UpdateContext& context, const xString& url,
                                                const xWString& path);

// In the new build started as "updating": true when the replaced launcher was
// started (the caller then quits); false leaves this build running on as a
// normal launcher under its versioned name. `oldProcessId` 0 means unknown.
bool RunUpdatingStage(const UpdateContext& context, uint32_t oldProcessId);

// In the replaced launcher started as "updated <id of the updating process>":
// waits for that process to end and removes the versioned copy. Always true.
bool RunUpdatedStage(const UpdateContext& context, uint32_t updatingProcessId);

// Test builds only (set by their entry point before start-up; the product
// never sets them): an update address of the test's own server, and a
// function told each named point of the hand-over before it is passed, so a
// test can end the process exactly there.
using SelfUpdateCheckpoint = void (*)(const char* point);
void SetSelfUpdateTestHooks(const xString& baseUrl, SelfUpdateCheckpoint checkpoint);
// The test hook's address when one is set, else `profileUrl`.
xString SelfUpdateBaseUrl(const xString& profileUrl);

// The pieces, as plain functions of plain values.

// ((major * 100 + minor) * 100 + build) * 100 + revision of a file version's
// most and least significant halves.
uint32_t VersionNumberFromFileVersion(uint32_t mostSignificant, uint32_t leastSignificant);
// The fixed file-version block (signature 0xFEEF04BD) of a VS_VERSIONINFO
// block as the number above; 0 when the block is not one.
uint32_t VersionNumberFromVersionResource(const uint8_t* block, size_t size);
// The server's text as C's atoi reads it (leading blanks, a sign, digits up to
// the first other character; wrapping past 32 bits), compared unsigned.
uint32_t NewerLauncherVersion(const xString& serverText, uint32_t ownVersion);
// "%d" of the number, as the versioned names spell it.
xString LauncherVersionText(uint32_t version);
// "qtmx.exe" (or a path to it) with "304" gives "qtmx304.exe".
xWString VersionedLauncherName(const xWString& launcherName, const xString& versionText);
// The old launcher's name from the running versioned file's: the part before
// the first occurrence of the version text, plus ".exe"; false when the name
// does not hold the text.
bool OldLauncherName(const xWString& versionedName, const xString& versionText, xWString& oldName);
// A downloaded build may be started: every byte the server announced arrived
// and there are more than 200000 of them.
bool IsWholeLauncherDownload(int64_t fileSize, uint64_t remoteSize);
// The process id after "updating"; 0 when none is given or it is no number.
uint32_t ParseProcessIdArgument(const xWString& argument);
