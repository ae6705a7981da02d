#pragma once

#include "xString.h"

// Where the log goes: "Launcher" (beside the launcher, relative) when the launcher
// runs from inside its application-data game folder, otherwise "WispLauncher" in
// the application-data folder itself, or beside the launcher (relative) when that
// folder is unknown. The folder test ignores ASCII case.
xString ChooseLogBasePath(const xWString& moduleDirectory, const xWString& appDataDirectory,
                          const xWString& appDataSubfolder);
