#include "MainFrame.h"

#include "CleanCache.h"
#include "ClientCommand.h"
#include "FontInstall.h"
#include "FrameSteps.h"
#include "LaunchProgress.h"
#include "LaunchState.h"
#include "UpdateContext.h"
#include "PackageUpdate.h"
#include "PackageWorkerThread.h"
#include "ProductProfile.h"
#include "PublishDir.h"

#include "xLogLine.h"
#include "xMessageBox.h"
#include "xPlatformTime.h"
#include "xStringOps.h"

MainFrame* CurrentMainFrame = nullptr;

namespace
{
constexpr float ReportInterval = 0.1f;
constexpr std::chrono::milliseconds QuickTick(100);
constexpr std::chrono::milliseconds StillTick(1000);
// The icon resource of the launcher executable.
constexpr int32_t LauncherIconId = 128;
// Mouse events in the tray icon's message.
constexpr intptr_t LeftButtonDown = 0x0201;
constexpr intptr_t LeftButtonDoubleClick = 0x0203;
} // namespace

MainFrame::MainFrame(xAppWindow& app) : SkinWindow(app, TheProfile.GameTitle())
{
    CurrentMainFrame = this;
}

SplashScreen& MainFrame::Splash()
{
    if (SplashWindow)
        return *SplashWindow;
    SplashWindow =
        std::make_unique<SplashScreen>(App, TheProfile.GameTitle(), [this] { return ReadSplashInputs(); });
    SplashWindow->Load(u"SplashScreen");
    SplashWindow->SetReadyAction([] { TheProfile.StartGame(); });
    return *SplashWindow;
}

MainFrame::~MainFrame()
{
    GameFrame.reset();
    SplashWindow.reset();
    Tray.Remove();
    if (CurrentMainFrame == this)
        CurrentMainFrame = nullptr;
}

void MainFrame::Load(const xWString& name)
{
    SkinWindow::Load(name);
    if (NativeWindow() != nullptr)
        Tray.Add(*NativeWindow(), TrayCallbackMessage, LauncherIconId, TheProfile.GameTitle());
}

bool MainFrame::OnButtonClick(SkinButton& button)
{
    switch (ChooseMainFrameAction(button.Id))
    {
    case MainFrameAction::ConfirmExit:
        ConfirmExit();
        break;
    case MainFrameAction::Minimize:
        Minimize();
        break;
    case MainFrameAction::CleanCache:
        CleanCacheForPlayer();
        break;
    case MainFrameAction::OpenLink:
        TheProfile.OpenLink(button.Id.c_str());
        break;
    }
    return true;
}

void MainFrame::CleanCacheForPlayer()
{
    switch (CleanCache())
    {
    case CacheCleanOutcome::Disabled:
        break;
    case CacheCleanOutcome::Refused:
        ShowErrorMessageBox(u"游戏正在更新，请更新完成后再清理缓存。", TheProfile.GameTitle() + u"微端");
        break;
    case CacheCleanOutcome::Cleaned:
        ShowTrayBalloon(u"缓存已清理，下次登录时将重新下载游戏文件");
        break;
    case CacheCleanOutcome::InUse:
        ShowTrayBalloon(u"部分文件正在使用，未能全部清理；请关闭其他微端后再清理缓存");
        break;
    }
}

void MainFrame::OnInvokeClient(const std::vector<xWString>& arguments)
{
    if (arguments.empty())
        return;
    const ClientCommand call = ReadClientCommand(arguments);
    LogLine("invoke_client: %s, %s", xString(call.Command).c_str(), xString(call.Parameter).c_str());
    if (!call.IsLogin)
        return;
    if (const char* refusal =
            LoginRefusal(GameFrame != nullptr, TheUpdateContext().Progress.PackageUpdateState))
    {
        LogLine("Login ignored: %s", refusal);
        return;
    }
    TheProfile.SetLoginString(call.Parameter);
    TheProfile.ParseLaunchParam(call.Parameter);
    StartPackageUpdate(xWString());
    ShowUpdateProgress();
}

bool MainFrame::OnUnhandledMessage(uint32_t message, uintptr_t, intptr_t lParam)
{
    if (message != TrayCallbackMessage || !GameFrame)
        return false;
    const intptr_t mouse = lParam & 0xFFFF;
    if (mouse != LeftButtonDown && mouse != LeftButtonDoubleClick)
        return false;
    if (GameFrame->IsShown())
        GameFrame->Hide();
    else
        ShowGameWindow();
    return false;
}

void MainFrame::OnClose()
{
    ConfirmExit();
}

void MainFrame::Show()
{
    SkinWindow::Show();
    if (NativeWindow() != nullptr)
        NativeWindow()->MakeForeground();
}

xWString MainFrame::PageAddressSuffix() const
{
    return TheProfile.PageAddressSuffix();
}

void MainFrame::ShowTrayBalloon(const xWString& text)
{
    Tray.ShowBalloon(TheProfile.GameTitle(), text);
}

void MainFrame::RemoveTrayIcon()
{
    Tray.Remove();
}

void MainFrame::ConfirmExit()
{
    if (!ShowConfirmMessageBox(u"确定退出微端吗？", TheProfile.GameTitle() + u"微端"))
        return;
    Tray.Remove();
    QuitLauncher();
}

void MainFrame::SwitchToGameMode()
{
    if (GameFrame)
        return;
    GameFrame = std::make_unique<GameWindow>(App);
    GameFrame->Load(u"GameWindow");
    GameFrame->Centre();
    GameFrame->Maximize();
    GameFrame->Show();
    BringGameFrameForward();
    Splash().Hide();
}

void MainFrame::ShowGameWindow()
{
    if (!GameFrame)
        return;
    if (!GameFrame->IsShown())
        GameFrame->Show();
    xNativeWindow* native = GameFrame->NativeWindow();
    if (native == nullptr)
        return;
    if (native->IsMinimized())
    {
        if (GameFrame->IsMaximized())
            GameFrame->Maximize();
        else
            native->Restore();
    }
    BringGameFrameForward();
}

void MainFrame::BringGameFrameForward()
{
    if (xNativeWindow* native = GameFrame ? GameFrame->NativeWindow() : nullptr)
    {
        native->BringToFront(true);
        native->MakeForeground();
    }
}

SplashInputs MainFrame::ReadSplashInputs() const
{
    const PackageProgressSnapshot progress = TheUpdateContext().Progress.Snapshot();
    SplashInputs inputs;
    inputs.State = progress.PackageUpdateState;
    inputs.DiskFull = progress.PackageFailureReason == PackageFailureDiskFull;
    inputs.LocalMode = TheLaunchState.LocalMode;
    inputs.FontInstalling = IsFontInstalling();
    inputs.FontFailed = FontInstallState == FontInstallFailed;
    inputs.Busy = IsBusy(inputs.FontInstalling, inputs.LocalMode, inputs.State);
    const CountedFontBytes font = CountFontBytes(FontInstallState, FontBytesReceived, FontFileSize);
    inputs.Progress = OverallProgress(font.Received, font.Expected, progress.PackageBytesReceived,
                                      progress.PackageBytesNeeded);
    inputs.BytesMoved = font.Received + progress.PackageBytesReceived;
    inputs.BytesExpected = font.Expected + progress.PackageBytesNeeded;
    inputs.SelfUpdate = TheLaunchState.SelfUpdateRunning;
    inputs.RetrySeconds = Retry.SecondsLeft(xPlatformTime::Seconds());
    return inputs;
}

void MainFrame::ReportMilestones(float seconds)
{
    ReportSeconds += seconds;
    if (ReportSeconds <= ReportInterval)
        return;
    ReportSeconds = 0.0f;
    ReportBegunLoginStep(TheProfile);
    const CountedFontBytes font = CountFontBytes(FontInstallState, FontBytesReceived, FontFileSize);
    const PackageProgressSnapshot progress = TheUpdateContext().Progress.Snapshot();
    const double share = ReceivedShare(font.Received, font.Expected, progress.PackageBytesReceived,
                                       progress.PackageBytesNeeded);
    for (const std::string& code :
         FrameStepCodes(share, TheLaunchState.LocalMode, progress.PackageUpdateState, IsFontInstalling()))
        TheProfile.ReportStep(code.c_str());
}

void MainFrame::TryUpdateAgain()
{
    LogLine("Trying the client update again");
    const xWString version = CurrentVersion.Get();
    if (!version.IsEmpty())
    {
        StartPackageUpdate(version);
        return;
    }
    // A server that gave no version is asked once per try: the tries themselves
    // come at growing intervals.
    PackageUpdateOptions once;
    once.Rounds = 1;
    StartPackageUpdateFor(xWString(), TheProfile, TheLaunchState, once);
}

std::chrono::milliseconds MainFrame::NextTickWithin()
{
    const bool moving = ThePackageWorker().IsBusy() || IsFontInstalling() ||
                        Retry.SecondsLeft(xPlatformTime::Seconds()) >= 0 || !FirstTickDone;
    const bool splashShown = SplashWindow && SplashWindow->IsShown();
    return moving || splashShown ? QuickTick : StillTick;
}

void MainFrame::ShowUpdateProgress()
{
    Hide();
    Splash().Show();
    Splash().Centre();
}

void MainFrame::FrameTick(float seconds)
{
    SkinWindow::FrameTick(seconds);
    ReportMilestones(seconds);
    if (Retry.Tick(xPlatformTime::Seconds(), TheUpdateContext().Progress.PackageUpdateState))
        TryUpdateAgain();
    // The splash is made on the first tick, once the frame is on screen: its
    // pictures are not what the player waits for at start.
    if (Splash().IsShown())
        Splash().FrameTick(seconds);
    if (GameFrame)
    {
        GameFrame->FrameTick(seconds);
        if (GameFrame->IsClosing())
        {
            GameFrame.reset();
            Show();
        }
    }
    if (!FirstTickDone)
    {
        FirstTickDone = true;
        // A login on the command line: straight to the update's progress.
        if (!TheProfile.LaunchParam.IsEmpty())
        {
            TheProfile.SetLoginString(TheProfile.LaunchParam);
            ShowUpdateProgress();
        }
    }
}
