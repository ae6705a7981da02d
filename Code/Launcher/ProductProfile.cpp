#include "ProductProfile.h"
#include "MainFrame.h"
#include "LaunchState.h"
#include "ProductConfig.h"
#include "StepReport.h"

#include "xBackgroundWork.h"
#include "xEngineContext.h"
#include "xLogLine.h"
#include "xStringOps.h"

const char* const StatisticsHost = PRODUCT_STATISTICS_HOST;
xString PackageBaseUrl(PRODUCT_PACKAGE_BASE_URL);
const xString PackageNamePrefix("Startup");

void ProductProfile::ParseLaunchParam(const xWString& param)
{
    // The step reports travel on the background pool, which exists from the first
    // launch parameter on.
    if (GEngineContext)
        xBackgroundWork::EnsureCreated(*GEngineContext);

    xWString text = param + u",";
    text = ReplaceAll(text, u"{", u"");
    text = ReplaceAll(text, u"}", u"");
    text = ReplaceAll(text, u"\"", u"");
    text = ReplaceAll(text, u"=", u":");
    text = ReplaceAll(text, u"&", u",");

    std::vector<xWString> pieces;
    SplitText(text, xWString(u","), pieces);
    for (const xWString& piece : pieces)
    {
        std::vector<xWString> parts;
        SplitText(piece, xWString(u":"), parts);
        if (parts.size() != 2)
        {
            LogErrorLine("failed to parse arg: %s", xString(piece).c_str());
            continue;
        }
        const xWString& key = parts[0];
        const xWString& value = parts[1];
        TheLaunchState.LaunchValues.emplace(key, value);
        if (key == u"sid")
        {
            SidString = xString(value);
            LogLine("SidString=%s", SidString.c_str());
        }
        else if (key == u"uid")
        {
            TheLaunchState.UidString = xString(value);
            LogLine("L_UidString=%s", TheLaunchState.UidString.c_str());
        }
        else if (key == u"cversion")
        {
            ClientVersion = xString(value);
            TheLaunchState.ForceVersion = value;
            LogLine("ClientVersion=%s", ClientVersion.c_str());
        }
    }
    TheLaunchState.LaunchParamParsed = true;
}

void ProductProfile::StartGame()
{
    if (CurrentMainFrame == nullptr)
        return;
    CurrentMainFrame->SwitchToGameMode();
    if (CurrentGameWindow != nullptr)
        CurrentGameWindow->StartGameProcess();
}

void ProductProfile::ReportStep(const char* code)
{
    xWorkerPool* pool = nullptr;
    if (GEngineContext && GEngineContext->BackgroundWork)
        pool = GEngineContext->BackgroundWork->GetPool(xBackgroundWork::DownloadPoolSlot);
    ReportStepOn(code, TheLaunchState, pool, StatisticsHost, StatisticsPort);
}
