#include "LogBasePath.h"

#include "xPath.h"
#include "xStringOps.h"

xString ChooseLogBasePath(const xWString& moduleDirectory, const xWString& appDataDirectory,
                          const xWString& appDataSubfolder)
{
    // An unknown folder would make the base "/WispLauncher", the root of the drive
    // or file system; the relative base resolves beside the launcher instead.
    if (appDataDirectory.IsEmpty())
        return "WispLauncher";
    const xWString appData = AsDirectoryPath(appDataDirectory);
    const xWString gameFolder = appData + appDataSubfolder;
    const xWString module = ToForwardSlashes(moduleDirectory);
    const bool insideGameFolder = module.Length() >= gameFolder.Length() &&
                                  CompareNoCase(module.c_str(), gameFolder.c_str(), gameFolder.Length()) == 0;
    if (insideGameFolder)
        return "Launcher";
    return xString(appData) + "WispLauncher";
}
