#pragma once

#include "xMessageBox.h"
#include "xString.h"

#include <cstdint>
#include <vector>

// Installation: a launcher started from anywhere copies itself into the per-user
// install folder, starts the copy there (handing on an auto-login key taken from
// its own file name) and ends. Flag files in the install folder make a second
// launcher started meanwhile give way.

struct InstallSettings
{
    // The running file, as the first token of the own command line names it.
    xWString RunningPath;
    // The per-user application-data folder (folder form); empty when unknown,
    // which makes the install fall back to the running file's folder.
    xWString AppDataFolder;
    // The product's values: its sub-folder there (ending in "/"), the code that
    // names the installed executable, and the title the error notice carries.
    xWString AppDataSubfolder;
    xWString ProductCode;
    xWString GameTitle;
    // How long to linger after starting the copy (so it is up before we go), and
    // after the failure notice.
    uint32_t StartedWaitMs = 1000;
    uint32_t FailureWaitMs = 10000;
    xMessageBoxFunction ShowError = ShowErrorMessageBox;
};

// Settings for this process: the running path from its command line and the
// application-data folder of the system, with the product's values.
InstallSettings InstallSettingsForThisProcess(const xWString& appDataSubfolder, const xWString& productCode,
                                              const xWString& gameTitle);

// Returns when no install is needed or the copy could not be made (the launcher
// goes on from where it was started); otherwise ends the process.
void InstallLauncher(const InstallSettings& settings);

// Running processes whose executable file name equals the running file's name
// or the install target's; exact, letter case counts; each process once.
int CountLauncherProcesses(const xWString& runningPath, const xWString& installTarget);

// The pieces, as plain functions of plain values.

// The first token of a command line with "\" turned into "/"; when that is not
// an absolute path, the running module's own path.
xWString RunningPathFromCommandLine(const xWString& commandLine);
// "/..." or a drive letter, ":" and "/".
bool IsAbsoluteLauncherPath(const xWString& path);

// appDataFolder + appDataSubfolder + productCode + ".exe"; empty when the
// application-data folder is unknown.
xWString InstallTargetPath(const xWString& appDataFolder, const xWString& appDataSubfolder,
                           const xWString& productCode);

// Equal lengths and equal after lower-casing A-Z (the C locale's folding of
// units up to 0xFF); other units compare unchanged.
bool IsSameLauncherPath(const xWString& left, const xWString& right);

// The last path component after the last "/" or "\"; empty without either.
xWString LauncherFileName(const xWString& path);

struct InstallFlagPaths
{
    xWString Installing; // held open, no sharing, while an install runs
    xWString Installed;  // created empty, never read
};

// installFolder + the running file's base name + ".installing" / ".install".
InstallFlagPaths InstallFlagPathsFor(const xWString& installFolder, const xWString& runningPath);

// From a base name: lower-cased (A-Z only), "-" made "_", then the text from
// the "v" of the first "_v": empty when shorter than 12 characters, cut to 12
// when longer; empty without "_v".
xWString AutoLoginKeyFromBaseName(const xWString& baseName);

// The installed copy's argument text: "autologinkey=" + key, or none.
xWString InstallCopyArguments(const xWString& autoLoginKey);

// How many of `names` equal `runningName`, or `targetName` when the two differ.
int CountMatchingNames(const std::vector<xWString>& names, const xWString& runningName,
                       const xWString& targetName);
