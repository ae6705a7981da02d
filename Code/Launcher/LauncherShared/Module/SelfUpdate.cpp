#include "SelfUpdate.h"
#include "LauncherDownload.h"
#include "PublishDir.h"
#include "SignedVersionFile.h"
#include "UpdateSignature.h"
#include "VersionFile.h"

#include "xLogLine.h"
#include "xModuleVersion.h"
#include "xPath.h"
#include "xProcess.h"
#include "xStringOps.h"
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <thread>
#include <vector>

std::atomic<uint64_t> LauncherBytesReceived{0};
std::atomic<uint64_t> LauncherFileSize{0};

namespace
{
constexpr uint32_t FixedFileInfoSignature = 0xFEEF04BDu;
// VS_FIXEDFILEINFO: thirteen 32-bit fields; the file version is the third and fourth.
constexpr size_t FixedFileInfoSize = 13 * 4;
const char16_t VersionInfoKey[] = u"VS_VERSION_INFO";

std::atomic<SelfUpdateCheckpoint> Checkpoint{nullptr};
xString TestBaseUrl;

void PassCheckpoint(const char* point)
{
    if (SelfUpdateCheckpoint checkpoint = Checkpoint.load())
        checkpoint(point);
}

uint32_t ReadLittle16(const uint8_t* bytes)
{
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8;
}

uint32_t ReadLittle32(const uint8_t* bytes)
{
    return ReadLittle16(bytes) | ReadLittle16(bytes + 2) << 16;
}

uint32_t ComputeLauncherVersionNumber()
{
    std::vector<uint8_t> block;
    if (ReadModuleVersionResource(block))
        return VersionNumberFromVersionResource(block.data(), block.size());
    return LAUNCHER_BUILD_VERSION_NUMBER;
}

void Pause(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

// Start-up and self-update stages see paths in "/" form.
xString PathText(const xWString& path)
{
    return xString(path);
}
} // namespace

uint32_t VersionNumberFromFileVersion(uint32_t mostSignificant, uint32_t leastSignificant)
{
    const uint32_t major = mostSignificant >> 16;
    const uint32_t minor = mostSignificant & 0xFFFFu;
    const uint32_t build = leastSignificant >> 16;
    const uint32_t revision = leastSignificant & 0xFFFFu;
    return ((major * 100 + minor) * 100 + build) * 100 + revision;
}

uint32_t VersionNumberFromVersionResource(const uint8_t* block, size_t size)
{
    // Header: total length, value length, type, then the key in UTF-16 with its
    // terminator, padded to four bytes; the value (the fixed block) follows.
    constexpr size_t HeaderSize = 6;
    if (block == nullptr || size < HeaderSize)
        return 0;
    const size_t total = ReadLittle16(block);
    const size_t valueLength = ReadLittle16(block + 2);
    if (total > size || valueLength < FixedFileInfoSize)
        return 0;
    size_t offset = HeaderSize;
    for (const char16_t* key = VersionInfoKey;; ++key)
    {
        if (offset + 2 > total || ReadLittle16(block + offset) != static_cast<uint32_t>(*key))
            return 0;
        offset += 2;
        if (*key == 0)
            break;
    }
    offset = (offset + 3) & ~size_t(3);
    if (offset + FixedFileInfoSize > total || ReadLittle32(block + offset) != FixedFileInfoSignature)
        return 0;
    return VersionNumberFromFileVersion(ReadLittle32(block + offset + 8), ReadLittle32(block + offset + 12));
}

uint32_t NewerLauncherVersion(const xString& serverText, uint32_t ownVersion)
{
    if (serverText.IsEmpty())
        return NoNewerLauncher;
    const char* text = serverText.c_str();
    while (*text == ' ' || (*text >= '\t' && *text <= '\r'))
        ++text;
    const bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        ++text;
    // Unsigned arithmetic wraps where atoi's would overflow; the comparison is
    // unsigned either way.
    uint32_t value = 0;
    for (; *text >= '0' && *text <= '9'; ++text)
        value = value * 10 + static_cast<uint32_t>(*text - '0');
    if (negative)
        value = 0u - value;
    return value > ownVersion ? value : NoNewerLauncher;
}

xString LauncherVersionText(uint32_t version)
{
    char text[16];
    std::snprintf(text, sizeof(text), "%d", static_cast<int32_t>(version));
    return xString(text);
}

xWString VersionedLauncherName(const xWString& launcherName, const xString& versionText)
{
    return GetFileStem(launcherName) + Utf8ToWide(versionText) + u".exe";
}

bool OldLauncherName(const xWString& versionedName, const xString& versionText, xWString& oldName)
{
    const ptrdiff_t at = versionText.IsEmpty() ? -1 : FindText(versionedName, Utf8ToWide(versionText));
    if (at < 0)
        return false;
    oldName = SubText(versionedName, 0, static_cast<size_t>(at)) + u".exe";
    return true;
}

bool IsWholeLauncherDownload(int64_t fileSize, uint64_t remoteSize)
{
    return fileSize >= MinimumLauncherBytes && static_cast<uint64_t>(fileSize) == remoteSize;
}

uint32_t ParseProcessIdArgument(const xWString& argument)
{
    const xString text(argument);
    if (text.IsEmpty() || text.Length() > 10)
        return 0;
    uint64_t value = 0;
    for (const char* c = text.c_str(); *c != 0; ++c)
    {
        if (*c < '0' || *c > '9')
            return 0;
        value = value * 10 + static_cast<uint64_t>(*c - '0');
    }
    return value > 0xFFFFFFFFu ? 0 : static_cast<uint32_t>(value);
}

void SetSelfUpdateTestHooks(const xString& baseUrl, SelfUpdateCheckpoint checkpoint)
{
    TestBaseUrl = baseUrl;
    Checkpoint.store(checkpoint);
}

xString SelfUpdateBaseUrl(const xString& profileUrl)
{
    return TestBaseUrl.IsEmpty() ? profileUrl : TestBaseUrl;
}

uint32_t LauncherVersionNumber()
{
    static const uint32_t version = ComputeLauncherVersionNumber();
    return version;
}

uint32_t CheckLauncherVersion(const UpdateContext& context, const xString& baseUrl, uint32_t ownVersion)
{
    LogLine("checking new version");
    // With a key the file must be signed and unexpired: a stale one could hold
    // this launcher on its build for ever.
    const VersionFileAnswer answer =
        FetchVersionFile(context, baseUrl + VersionFileFormat::LauncherVersionName,
                         VersionFileKind::LauncherVersion, std::time(nullptr));
    return NewerLauncherVersion(answer.Line, ownVersion);
}

std::unique_ptr<xFile> TakeSelfUpdateLock(const UpdateContext& context, const xWString& folder, int attempts,
                                          const char* otherwise)
{
    const xEngineFileSystem& files = context.Files;
    const xWString path = AsDirectoryPath(folder) + SelfUpdateLockName;
    for (int attempt = 1;; ++attempt)
    {
        if (std::unique_ptr<xFile> lock = files.OpenWrite(path, false, false))
            return lock;
        // A folder we cannot write to, or a lock file made read-only: nobody
        // holds it, and the update could write nothing here anyway.
        if (!files.IsFile(path) || files.IsReadOnly(path))
        {
            LogErrorLine("The self-update lock %s cannot be created; %s", PathText(path).c_str(), otherwise);
            return nullptr;
        }
        if (attempt >= attempts)
            break;
        Pause(ReplaceRetryMs);
    }
    LogLine("Another launcher is updating itself here (%s is held); %s", PathText(path).c_str(), otherwise);
    return nullptr;
}

namespace
{
// Whole, and (signed updates on) signed: read through the held handle, so the
// bytes checked are the bytes that will start.
bool IsGoodBuild(xFileHandle& build, const xString& name, const std::vector<uint8_t>& signature)
{
    const int64_t size = build.GetSize();
    const uint64_t remoteSize = LauncherFileSize.load(std::memory_order_relaxed);
    if (!IsWholeLauncherDownload(size, remoteSize))
    {
        LogLine("Launcher download not whole: %lld of %llu bytes", static_cast<long long>(size),
                static_cast<unsigned long long>(remoteSize));
        return false;
    }
    if (!GetUpdateVerifier().IsOn())
        return true;
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    if (!build.Seek(0) || !build.Read(bytes.data(), size))
    {
        LogErrorLine("Update signature refused for %s: the file cannot be read; nothing is taken from it",
                     name.c_str());
        return false;
    }
    return CheckFetchedSignature(name, bytes.data(), bytes.size(), signature);
}

} // namespace

std::unique_ptr<xFileHandle> FetchLauncherBuild(const UpdateContext& context, const xString& url,
                                                const xWString& path)
{
    const xEngineFileSystem& files = context.Files;
    const xString name(GetFileName(path));
    // Only what arrives now may be started: an earlier file under the name may be
    // a build of another day.
    files.DeleteFileEx(path, false, false);
    if (files.IsFile(path))
    {
        LogLine("Cannot remove the earlier %s", PathText(path).c_str());
        return nullptr;
    }
    std::vector<uint8_t> signature;
    if (!FetchUpdateSignature(url, name, signature))
        return nullptr;
    TransferOptions options;
    options.Received = &LauncherBytesReceived;
    options.Size = &LauncherFileSize;
    options.MaxSize = MaxLauncherBytes;
    options.Rename = false;
    const xWString temporary = TransferFile(context, url, options).Temporary;
    std::unique_ptr<xFileHandle> build = temporary.IsEmpty() ? nullptr : files.OpenProgram(temporary);
    if (!build)
        LogLine("Launcher download not whole: %s did not arrive", PathText(path).c_str());
    // The build takes its name while held, so the name holds the bytes just checked.
    if (build && IsGoodBuild(*build, name, signature) &&
        MoveFetchedFile(context, temporary, path, build.get()))
        return build;
    build.reset();
    if (!temporary.IsEmpty())
        files.DeleteFileEx(temporary, false, false);
    return nullptr;
}

void SelfUpdateThread(const UpdateContext& context, const xString& baseUrl, uint32_t newVersion)
{
    LauncherVersionNumber();
    const xWString name =
        VersionedLauncherName(GetFileName(GetModulePath()), LauncherVersionText(newVersion));
    const xWString path = GetModuleDirectory() + name;
    const xString url = baseUrl + xString(name);
    LogLine("Try Download %s", url.c_str());
    std::unique_ptr<xFileHandle> build = FetchLauncherBuild(context, url, path);
    if (build)
    {
        PassCheckpoint("downloaded");
        // Our id lets the new build wait until this process has ended.
        xString arguments = "updating ";
        arguments += LauncherVersionText(CurrentProcessId());
        uint32_t processId = 0;
        xProcessHandle process =
            StartHeldProcess(*build, path, Utf8ToWide(arguments), xWString(), &processId);
        if (process.IsValid() && processId != 0)
        {
            LogLine("Run %s %s", PathText(path).c_str(), arguments.c_str());
            QuitLauncher();
        }
        LogLine("Cannot start %s", PathText(path).c_str());
        build.reset();
        context.Files.DeleteFileEx(path, false, false);
    }
    QuitLauncher();
}

namespace
{
// The updating stage's work once the old launcher has ended: a copy of this
// build (at `ownPath`) in the old one's place, started as "updated".
bool ReplaceOldLauncher(const UpdateContext& context, const xWString& ownPath, const xWString& oldPath)
{
    const xEngineFileSystem& files = context.Files;
    // The copy is made under a name of its own and then moved over the old
    // launcher in one step: a copy cut short never takes the launcher's place.
    const xWString copyPath = oldPath + u".new";
    PassCheckpoint("updating-before-replace");
    LogLine("Copying file: %s to %s", PathText(ownPath).c_str(), PathText(copyPath).c_str());
    if (!files.Copy(copyPath, ownPath) || files.GetFileSize(copyPath) != files.GetFileSize(ownPath))
    {
        LogLine("Copy failed: %s", PathText(copyPath).c_str());
        files.DeleteFileEx(copyPath, false, false);
        return false;
    }
    LogLine("Replacing file: %s", PathText(oldPath).c_str());
    // The old launcher may hold its file a moment after it has ended (or still
    // run when it was given no id); keep trying for a while.
    bool replaced = files.MoveOver(oldPath, copyPath);
    for (int attempt = 1; !replaced && attempt < ReplaceAttempts; ++attempt)
    {
        Pause(ReplaceRetryMs);
        replaced = files.MoveOver(oldPath, copyPath);
    }
    if (!replaced)
    {
        LogLine("Replace failed: %s", PathText(oldPath).c_str());
        files.DeleteFileEx(copyPath, false, false);
        return false;
    }
    PassCheckpoint("updating-after-replace");
    if (!files.IsFile(oldPath))
    {
        LogLine("File %s not exists", PathText(oldPath).c_str());
        return false;
    }
    xString arguments = "updated ";
    arguments += LauncherVersionText(CurrentProcessId());
    LogLine("Run %s %s", PathText(oldPath).c_str(), arguments.c_str());
    uint32_t processId = 0;
    xProcessHandle process = StartProcess(oldPath, Utf8ToWide(arguments), xWString(), &processId);
    return process.IsValid() && processId != 0;
}
} // namespace

bool RunUpdatingStage(const UpdateContext& context, uint32_t oldProcessId)
{
    LogLine("Run updating");
    if (oldProcessId != 0)
    {
        LogLine("Waiting for process %u to end", oldProcessId);
        if (!WaitForProcessEnd(oldProcessId, OldLauncherEndWaitMs))
            LogLine("Process %u still runs after %u ms", oldProcessId, OldLauncherEndWaitMs);
    }
    const xString versionText = LauncherVersionText(LauncherVersionNumber());
    const xWString ownPath = GetModulePath();
    xWString oldName;
    if (!OldLauncherName(GetFileName(ownPath), versionText, oldName))
    {
        LogLine("Version %s is not in the file name %s", versionText.c_str(), PathText(ownPath).c_str());
        return false;
    }
    // The old launcher held the lock until it ended; holding it on until the
    // old file is replaced keeps a launcher started meanwhile from fetching
    // this very build again.
    const std::unique_ptr<xFile> lock =
        TakeSelfUpdateLock(context, GetParentPath(ownPath), ReplaceAttempts, "replacing without it");
    return ReplaceOldLauncher(context, ownPath, GetParentPath(ownPath) + oldName);
}

bool RunUpdatedStage(const UpdateContext& context, uint32_t updatingProcessId)
{
    LogLine("Run Updated");
    if (updatingProcessId != 0 && !WaitForProcessEnd(updatingProcessId, OldLauncherEndWaitMs))
        LogLine("Process %u still runs after %u ms", updatingProcessId, OldLauncherEndWaitMs);
    const xEngineFileSystem& files = context.Files;
    const xWString ownPath = GetModulePath();
    const xWString versioned =
        GetParentPath(ownPath) +
        VersionedLauncherName(GetFileName(ownPath), LauncherVersionText(LauncherVersionNumber()));
    if (!files.IsFile(versioned))
        return true;
    PassCheckpoint("updated-before-delete");
    LogLine("Deleting file: %s", PathText(versioned).c_str());
    for (int attempt = 0; attempt < VersionedCopyDeleteAttempts; ++attempt)
    {
        if (files.DeleteFileEx(versioned, false, false) && !files.IsFile(versioned))
            return true;
        Pause(VersionedCopyDeleteRetryMs);
    }
    LogLine("Versioned copy stays: %s", PathText(versioned).c_str());
    return true;
}
