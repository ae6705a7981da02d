#include "xPlatformStartup.h"

#include "xAssertion.h"
#include "xEngineContext.h"
#include "xEngineFileSystem.h"
#include "xHardwareDetection.h"
#include "xHardwareInfo.h"
#include "xLog.h"
#include "xMachineAddress.h"
#include "xPlatformTime.h"
#include "xSystemPaths.h"

void PlatformStartup()
{
    xEngineContext& context = *GEngineContext;

    uint64_t frequency = 0;
    if (!xPlatformTime::QueryFrequency(frequency))
        ReportAssertion("QueryPerformanceFrequency( &Frequency )",
                        "..\\..\\Code\\Engine\\Common\\Windows\\xPlatformTimeWindows", 42, nullptr);

    // Relative paths, the log's among them, resolve beside the launcher.
    if (GetWorkingDirectory().IsEmpty())
        SetWorkingDirectoryToModule();

    context.FileSystem = new xEngineFileSystem();
    xLog::Create(context);

    GetMachineAddress();

    context.HardwareInfo = new xHardwareInfo();
    if (!context.HardwareInfo->DetectionDone)
        StartHardwareDetection(context.HardwareInfo);
}
