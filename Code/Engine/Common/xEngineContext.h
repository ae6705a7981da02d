#pragma once

#include "xString.h"

#include <cstdint>

class xLog;
class xEngineFileSystem;
class xBackgroundWork;
class xHardwareInfo;
class xAppWindow;

// The framework's one process-wide record. The launcher's start-up creates it and
// fills in the log settings; the platform start-up then creates the services that
// hang off it. Nothing here is ever destroyed.
class xEngineContext
{
public:
    // Null until the platform start-up has created the logger; callers check both
    // this field and GEngineContext before logging.
    xLog* Logger = nullptr;
    xEngineFileSystem* FileSystem = nullptr;
    // Null until the first launch parameter is parsed (xBackgroundWork::EnsureCreated).
    xBackgroundWork* BackgroundWork = nullptr;
    // Filled by the hardware detection thread; read its texts only once its done flag is set.
    xHardwareInfo* HardwareInfo = nullptr;
    // The application's windows, once the start-up has made them.
    xAppWindow* AppWindow = nullptr;

    // Path of the log file without category suffix and ".txt" (UTF-8).
    xString LogBasePath;
    // Only the General category gets a file; every line lands there.
    uint8_t LogSingleFile = 0;
    // No log file is opened at all.
    uint8_t LogFileDisabled = 0;
    // A console target is created next to the file target.
    uint8_t LogConsole = 0;
};

extern xEngineContext* GEngineContext;
