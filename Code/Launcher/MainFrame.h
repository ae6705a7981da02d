#pragma once

#include "GameWindow.h"
#include "SkinWindow.h"
#include "SplashScreen.h"
#include "UpdateRetry.h"

#include "xTrayIcon.h"

#include <chrono>
#include <memory>

// The launcher's home window: the skin's background, its link and window
// buttons, the login page, and an icon in the notification area. It owns the
// splash screen and the game frame, starts the update on a login, reports the
// download's milestones, and tries a failed update again. Main thread only.
class MainFrame : public SkinWindow
{
public:
    explicit MainFrame(xAppWindow& app);
    ~MainFrame() override;

    void Load(const xWString& name) override;
    bool OnButtonClick(SkinButton& button) override;
    void OnInvokeClient(const std::vector<xWString>& arguments) override;
    bool OnUnhandledMessage(uint32_t message, uintptr_t wParam, intptr_t lParam) override;
    void OnClose() override;
    void Show() override;
    void FrameTick(float seconds) override;
    // How long the frame loop may wait for a message before the next tick: a
    // tenth of a second while something moves that sends the windows no
    // message (the update's and the font's threads, the splash's bar, a
    // retry's countdown), a second while all is still.
    std::chrono::milliseconds NextTickWithin();
    xWString PageAddressSuffix() const override;

    void ShowTrayBalloon(const xWString& text);
    void RemoveTrayIcon();
    // Asks the player; on OK the launcher ends.
    void ConfirmExit();
    // The "clear" button: cleans, or tells the player why it must wait.
    void CleanCacheForPlayer();
    // Opens the game frame (once) in place of the splash screen.
    void SwitchToGameMode();
    void ShowGameWindow();

    // The splash screen, made on first use.
    SplashScreen& Splash();
    GameWindow* Game() { return GameFrame.get(); }

    // The tray icon's events arrive as this message.
    static constexpr uint32_t TrayCallbackMessage = 0x0400 + 110;

private:
    SplashInputs ReadSplashInputs() const;
    void ReportMilestones(float seconds);
    void TryUpdateAgain();
    // Hides the frame and shows the splash while the update runs.
    void ShowUpdateProgress();
    void BringGameFrameForward();

    xTrayIcon Tray;
    std::unique_ptr<SplashScreen> SplashWindow;
    std::unique_ptr<GameWindow> GameFrame;
    UpdateRetry Retry;
    float ReportSeconds = 0.0f;
    bool FirstTickDone = false;
};

// The one main frame, or null.
extern MainFrame* CurrentMainFrame;
