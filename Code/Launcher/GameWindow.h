#pragma once

#include "GameView.h"
#include "GameWindowRules.h"
#include "SkinWindow.h"

#include "xImage.h"
#include "xProcess.h"

#include <memory>

// The launcher's own frame around the running game: a skinned title band with
// its buttons, side and bottom borders, and the view the game draws into. It
// starts the game, keeps the view over its content area, and closes when the
// game ends or asks it to. Main thread only.
class GameWindow : public SkinWindow, public GameViewListener
{
public:
    explicit GameWindow(xAppWindow& app);
    ~GameWindow() override;

    void Load(const xWString& name) override;
    bool GetContentRect(xWindowRect& rect) override;
    // The boss key: hides a shown frame, brings a hidden one back.
    bool OnHotKey(int32_t id, intptr_t keyData) override;
    bool OnMouseDoubleClick(MouseButton button, float x, float y) override;
    bool OnResized(int32_t width, int32_t height, bool minimised) override;
    void OnMoved(int32_t x, int32_t y) override;
    WindowZone HitTest(int32_t x, int32_t y) override;
    bool OnWindowButton(WindowButtonAction action) override;
    bool OnButtonClick(SkinButton& button) override;
    void OnClose() override;
    void Show() override;
    void Hide() override;
    void Maximize() override;
    void Restore() override;
    void FrameTick(float seconds) override;
    void OnPaintExtra(xCanvas& canvas) override;

    // Starts the game once (later calls change nothing): its view's handle and
    // the login text on its command line.
    void StartGameProcess();
    // The close button: asks the game to close; a second press 5 to 10 s later forces it.
    void RequestCloseGame();
    // The frame is done; its owner destroys it on its next tick.
    void CloseGameWindow();
    bool IsClosing() const { return Closing; }
    bool IsMaximized() const { return Maximized; }
    // Shows the button of the size the frame does not have.
    void UpdateMaxRestoreButtons();

    void OnGameMainWindow(uint64_t handle) override;
    void OnGameCloseFrame() override;
    void OnGameCanClose() override;

private:
    GameFrameSizes FrameSizes() const;
    void PlaceView();

    std::shared_ptr<xImage> Logo;
    std::shared_ptr<xImage> Top;
    std::shared_ptr<xImage> Bottom;
    std::shared_ptr<xImage> Left;
    bool Maximized = false;
    bool CloseRequestSupported = false;
    // Where the restore button puts the frame.
    xWindowRect RestoreRect = {0, 0, 1380, 820};
    std::unique_ptr<GameView> View;
    // Where the view was last put on screen; the tick moves it only when that changes.
    xWindowRect ViewPlace;
    uint64_t GameMainWindow = 0;
    xProcessHandle GameProcess;
    CloseRequestTimer CloseTimer;
    bool Closing = false;
};

// The one game frame, or null.
extern GameWindow* CurrentGameWindow;
