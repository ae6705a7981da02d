#pragma once

#include "xEngineFileSystem.h"

// The engine's file system object once the platform start-up has made it; before
// that (and in tests without an engine context) a plain one of our own, since
// the installation runs on paths alone and needs none of the engine's folders.
const xEngineFileSystem& LauncherFiles();
