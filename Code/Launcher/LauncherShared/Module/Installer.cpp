#include "Installer.h"

#include "LauncherFiles.h"
#include "PublishDir.h"

#include "xCommandLine.h"
#include "xLogLine.h"
#include "xPath.h"
#include "xProcess.h"
#include "xProcessList.h"
#include "xStringOps.h"
#include "xSystemPaths.h"

#include <chrono>
#include <memory>
#include <thread>

namespace
{
constexpr size_t AutoLoginKeyLength = 12;
const char16_t* const InstallErrorText = u"微端安装错误，请重新下载微端？";
const char16_t* const CaptionSuffix = u"微端";

void Linger(uint32_t milliseconds)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
} // namespace

xWString RunningPathFromCommandLine(const xWString& commandLine)
{
    const xWString path = ToForwardSlashes(xCommandLine(commandLine, false).Argument(0));
    // A launcher started by a relative name (from a shell) would never equal its
    // install target and install itself over and over: take the module's path.
    if (!IsAbsoluteLauncherPath(path))
        return ToForwardSlashes(GetModulePath());
    return path;
}

bool IsAbsoluteLauncherPath(const xWString& path)
{
    if (path.Length() >= 1 && path[0] == u'/')
        return true;
    // "C:/..." — a drive and a folder separator.
    return path.Length() >= 3 && path[1] == u':' && path[2] == u'/' &&
           ((path[0] >= u'A' && path[0] <= u'Z') || (path[0] >= u'a' && path[0] <= u'z'));
}

xWString InstallTargetPath(const xWString& appDataFolder, const xWString& appDataSubfolder,
                           const xWString& productCode)
{
    // An unknown folder must not turn into a path relative to wherever we run.
    if (appDataFolder.IsEmpty())
        return {};
    return AsDirectoryPath(appDataFolder) + appDataSubfolder + productCode + u".exe";
}

bool IsSameLauncherPath(const xWString& left, const xWString& right)
{
    return left.Length() == right.Length() && EqualsNoCase(left, right);
}

xWString LauncherFileName(const xWString& path)
{
    for (size_t i = path.Length(); i > 0; --i)
    {
        if (path[i - 1] == u'/' || path[i - 1] == u'\\')
            return SubText(path, i);
    }
    return {};
}

InstallFlagPaths InstallFlagPathsFor(const xWString& installFolder, const xWString& runningPath)
{
    // The base name holds no separator, so the flags stay inside the install folder.
    const xWString baseName = GetFileStem(runningPath);
    return {installFolder + baseName + u".installing", installFolder + baseName + u".install"};
}

xWString AutoLoginKeyFromBaseName(const xWString& baseName)
{
    xWString name = baseName;
    ToLowerAscii(name);
    name = ReplaceAll(name, u"-", u"_");
    const ptrdiff_t marker = FindText(name, u"_v");
    if (marker < 0)
        return {};
    const xWString rest = SubText(name, static_cast<size_t>(marker) + 1);
    if (rest.Length() < AutoLoginKeyLength)
        return {};
    return SubText(rest, 0, AutoLoginKeyLength);
}

xWString InstallCopyArguments(const xWString& autoLoginKey)
{
    if (autoLoginKey.IsEmpty())
        return {};
    return xWString(u"autologinkey=") + autoLoginKey;
}

int CountMatchingNames(const std::vector<xWString>& names, const xWString& runningName,
                       const xWString& targetName)
{
    const bool namesDiffer = runningName != targetName;
    int count = 0;
    for (const xWString& name : names)
    {
        if (name == runningName || (namesDiffer && name == targetName))
            ++count;
    }
    return count;
}

int CountLauncherProcesses(const xWString& runningPath, const xWString& installTarget)
{
    return CountMatchingNames(ListProcessExecutableNames(), LauncherFileName(runningPath),
                              LauncherFileName(installTarget));
}

InstallSettings InstallSettingsForThisProcess(const xWString& appDataSubfolder, const xWString& productCode,
                                              const xWString& gameTitle)
{
    InstallSettings settings;
    settings.RunningPath = RunningPathFromCommandLine(xCommandLine::OfThisProcess());
    settings.AppDataFolder = GetAppDataDirectory();
    settings.AppDataSubfolder = appDataSubfolder;
    settings.ProductCode = productCode;
    settings.GameTitle = gameTitle;
    return settings;
}

void InstallLauncher(const InstallSettings& settings)
{
    const xEngineFileSystem& files = LauncherFiles();
    const xWString running = ToForwardSlashes(settings.RunningPath);
    xWString target =
        InstallTargetPath(settings.AppDataFolder, settings.AppDataSubfolder, settings.ProductCode);
    if (IsSameLauncherPath(running, target))
        return;

    xWString installFolder = GetParentPath(target);
    const InstallFlagPaths flags = InstallFlagPathsFor(installFolder, running);
    // A stale flag alone does not block: it takes a second launcher that runs.
    if (!target.IsEmpty() && files.IsFile(flags.Installing))
    {
        const int count = CountLauncherProcesses(running, target);
        if (count > 1)
        {
            LogLine("Already installed %d", count);
            QuitLauncher();
        }
    }

    std::unique_ptr<xFile> installing;
    if (!target.IsEmpty())
        files.CreateDirectory(installFolder, true);
    if (!target.IsEmpty() && files.IsDirectory(installFolder))
    {
        files.OpenWrite(flags.Installed, false, true);
        // Held without sharing until we quit: a second launcher cannot open it.
        installing = files.OpenWrite(flags.Installing, false, false);
        if (!installing)
        {
            LogLine("InstallFlagFile Failed");
            QuitLauncher();
        }
    }
    else
    {
        installFolder = GetParentPath(running);
        target = installFolder + settings.ProductCode + u".exe";
        // This is the fallback copy already; starting it would start itself
        // again and again.
        if (IsSameLauncherPath(running, target))
            return;
    }

    files.CopyChecked(target, running);
    if (!files.IsFile(target))
    {
        LogLine("InstallFailed");
        return;
    }

    const xWString key = AutoLoginKeyFromBaseName(GetFileStem(running));
    uint32_t processId = 0;
    xProcessHandle copy = StartProcess(target, InstallCopyArguments(key), installFolder, &processId);
    if (copy.IsValid() && processId != 0)
    {
        LogLine("Installed");
        installing.reset();
        Linger(settings.StartedWaitMs);
        QuitLauncher();
    }

    LogLine("InstallFailed");
    const xWString caption = settings.GameTitle + CaptionSuffix;
    if (settings.ShowError != nullptr && settings.ShowError(InstallErrorText, caption))
    {
        installing.reset();
        Linger(settings.FailureWaitMs);
        QuitLauncher();
    }
}
