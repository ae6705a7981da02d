// Stand-in launcher for the installation and publish-folder tests, copied under
// launcher-like names and started. It appends what it sees to report files, one
// UTF-8 item a line, since the calls it makes end the process without destructors.
//   publish <base folder> <report> <release file>: claims a publish folder
//       ("claimed=<folder>"; a notice as "box=<caption>|<text>"), holds it until
//       <release file> appears, then quits the launcher's way.
//   wait <release file>: runs until <release file> appears.
//   install <app-data folder> <report> [<running path>]: InstallLauncher for "qtmx"
//       under "kfcx/"; "returned" when it came back, then "installing=free" or
//       "installing=held" when the install flag exists.
//   Anything else, when named qtmx.exe (the installed copy): "arg=<argument>" for
//       each argument and "cwd=<folder>" into started.txt beside itself.
#include "Installer.h"
#include "PublishDir.h"

#include "xCommandLine.h"
#include "xFileSystem.h"
#include "xPath.h"
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include "EngineText.h"
#include "LineLogTarget.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr int ReturnedExitCode = 3;
constexpr int UsageExitCode = 2;
// A probe that the test forgot to release still ends on its own.
constexpr auto LongestHold = std::chrono::seconds(60);

xWString ReportPath;

// Opened and closed per line, so that every line is on disk when the process
// is ended from inside a call.
void Report(const std::string& line)
{
    if (ReportPath.IsEmpty())
        return;
    std::ofstream file(FsPath(ReportPath), std::ios::binary | std::ios::app);
    file << line << "\n";
}

bool RecordNotice(const xWString& text, const xWString& caption)
{
    Report("box=" + Narrow(caption) + "|" + Narrow(text));
    return true;
}

void WaitFor(const xWString& releaseFile)
{
    const auto deadline = std::chrono::steady_clock::now() + LongestHold;
    std::error_code error;
    while (!std::filesystem::exists(FsPath(releaseFile), error) &&
           std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
}

int Publish(const std::vector<xWString>& arguments)
{
    if (arguments.size() != 5)
        return UsageExitCode;
    ReportPath = arguments[3];
    LogLinesTo(Report);
    const xWString folder = PublishDirIn(arguments[2], RecordNotice);
    Report("claimed=" + Narrow(folder));
    WaitFor(arguments[4]);
    QuitLauncher();
}

int Install(const std::vector<xWString>& arguments)
{
    if (arguments.size() < 4 || arguments.size() > 5)
        return UsageExitCode;
    ReportPath = arguments[3];
    LogLinesTo(Report);
    InstallSettings settings = InstallSettingsForThisProcess(u"kfcx/", u"qtmx", u"测试游戏");
    settings.AppDataFolder = arguments[2];
    if (arguments.size() == 5)
        settings.RunningPath = arguments[4];
    settings.FailureWaitMs = 100;
    settings.ShowError = RecordNotice;
    InstallLauncher(settings);
    Report("returned");
    // Whether the install flag was let go: an exclusive open fails while any
    // open of it, our own included, is still held.
    const xWString target =
        InstallTargetPath(settings.AppDataFolder, settings.AppDataSubfolder, settings.ProductCode);
    const xWString flag = InstallFlagPathsFor(GetParentPath(target), settings.RunningPath).Installing;
    xFileSystem files;
    if (files.IsFile(flag))
        Report(files.OpenWrite(flag, false, false) ? "installing=free" : "installing=held");
    return ReturnedExitCode;
}

int RecordStart(const std::vector<xWString>& arguments)
{
    if (GetFileName(GetModulePath()) != u"qtmx.exe")
        return UsageExitCode;
    ReportPath = GetModuleDirectory() + u"started.txt";
    for (size_t i = 1; i < arguments.size(); ++i)
        Report("arg=" + Narrow(arguments[i]));
    std::error_code error;
    Report("cwd=" + std::filesystem::current_path(error).u8string());
    return 0;
}
} // namespace

int main()
{
    // The launcher's own reading of its command line, program name included.
    const xCommandLine commandLine(xCommandLine::OfThisProcess(), false);
    const std::vector<xWString>& arguments = commandLine.Arguments();
    const xWString mode = arguments.size() > 1 ? arguments[1] : xWString();
    if (mode == u"publish")
        return Publish(arguments);
    if (mode == u"wait" && arguments.size() == 3)
    {
        WaitFor(arguments[2]);
        return 0;
    }
    if (mode == u"install")
        return Install(arguments);
    return RecordStart(arguments);
}
