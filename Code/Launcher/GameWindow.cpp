#include "GameWindow.h"

#include "BossKey.h"
#include "MainFrame.h"
#include "ProductProfile.h"
#include "PublishDir.h"
#include "SkinLayout.h"
#include "SkinPainter.h"

#include "xLogLine.h"
#include "xPlatformTime.h"
#include "xStringOps.h"

GameWindow* CurrentGameWindow = nullptr;

namespace
{
constexpr uint32_t CaptionColour = 0x00D7D7D7;
} // namespace

GameWindow::GameWindow(xAppWindow& app)
    : SkinWindow(app, TheProfile.GameTitle()), Logo(LoadSkinPicture("logo.png")),
      Top(LoadSkinPicture("top.png")), Bottom(LoadSkinPicture("bottom.png")),
      Left(LoadSkinPicture("left.png"))
{
    CurrentGameWindow = this;
}

GameWindow::~GameWindow()
{
    View.reset();
    if (GameProcess && !GameProcess.Wait(0))
        GameProcess.Terminate(0);
    GameProcess.Close();
    // The boss key lives as long as the frame's window; the next frame registers it again.
    if (NativeWindow() != nullptr)
        LogLine("UnregisterHotKey, ret %d",
                UnregisterWindowHotKey(NativeWindow()->Handle(), BossKeyHotKeyId));
    if (CurrentGameWindow == this)
        CurrentGameWindow = nullptr;
}

void GameWindow::Load(const xWString& name)
{
    SkinWindow::Load(name);
    if (SkinButton* restore = FindButton("game.restore"))
        restore->Visible = false;
    AnchorTopRightButtons();
    xNativeWindow* native = NativeWindow();
    if (native == nullptr)
        return;
    xWindowRect content;
    GetContentRect(content);
    const xWindowRect outer = native->ScreenRect();
    View = std::make_unique<GameView>(
        *native, xWindowPoint{outer.Left + content.Left, outer.Top + content.Top}, *this);
    LoadBossKey();
}

GameFrameSizes GameWindow::FrameSizes() const
{
    GameFrameSizes sizes;
    sizes.TopHeight = Top ? Top->Height() : 0;
    sizes.BottomHeight = Bottom ? Bottom->Height() : 0;
    sizes.SideWidth = Left ? Left->Width() : 0;
    return sizes;
}

bool GameWindow::GetContentRect(xWindowRect& rect)
{
    if (NativeWindow() == nullptr)
        return false;
    const xWindowRect outer = NativeWindow()->ScreenRect();
    rect = GameContentRect(outer.Right - outer.Left, outer.Bottom - outer.Top, Maximized, FrameSizes());
    return true;
}

void GameWindow::PlaceView()
{
    xWindowRect content;
    if (!View || !GetContentRect(content))
        return;
    const xWindowRect outer = NativeWindow()->ScreenRect();
    const xWindowRect place{outer.Left + content.Left, outer.Top + content.Top, outer.Left + content.Right,
                            outer.Top + content.Bottom};
    if (place.Left == ViewPlace.Left && place.Top == ViewPlace.Top && place.Right == ViewPlace.Right &&
        place.Bottom == ViewPlace.Bottom)
        return;
    ViewPlace = place;
    View->Place(place);
}

bool GameWindow::OnHotKey(int32_t, intptr_t)
{
    if (!BossKeyEnabled)
        return false;
    if (IsShown())
    {
        LogLine("Boss key: the game frame hides");
        Hide();
    }
    else if (CurrentMainFrame != nullptr)
    {
        LogLine("Boss key: the game frame comes back");
        CurrentMainFrame->ShowGameWindow();
    }
    return true;
}

bool GameWindow::OnMouseDoubleClick(MouseButton, float, float y)
{
    if (NativeWindow() == nullptr)
        return false;
    const xWindowRect outer = NativeWindow()->ScreenRect();
    const int32_t top = static_cast<int32_t>(y) - outer.Top;
    if (top >= FrameSizes().TopHeight)
        return false;
    // Double-clicking the title band toggles the size, as a caption does.
    const xWindowPoint pointer = GetCursorScreenPosition();
    if (SkinHitTest(Buttons(), pointer.X - outer.Left, pointer.Y - outer.Top) == WindowZone::Client)
        return false;
    if (Maximized)
    {
        Maximized = false;
        Restore();
    }
    else
        Maximize();
    return true;
}

bool GameWindow::OnResized(int32_t, int32_t, bool)
{
    AnchorTopRightButtons();
    PlaceView();
    return true;
}

void GameWindow::OnMoved(int32_t x, int32_t y)
{
    SkinWindow::OnMoved(x, y);
    PlaceView();
}

WindowZone GameWindow::HitTest(int32_t x, int32_t y)
{
    if (NativeWindow() == nullptr)
        return WindowZone::Nowhere;
    const xWindowRect outer = NativeWindow()->ScreenRect();
    const bool overButton = SkinHitTest(Buttons(), x, y) == WindowZone::Client;
    return GameWindowHitTest(x, y, outer.Right - outer.Left, outer.Bottom - outer.Top, Maximized, overButton,
                             FrameSizes());
}

bool GameWindow::OnWindowButton(WindowButtonAction action)
{
    SkinWindow::OnWindowButton(action);
    UpdateMaxRestoreButtons();
    return true;
}

bool GameWindow::OnButtonClick(SkinButton& button)
{
    if (EqualsNoCase(button.Id, "game.hide"))
        Hide();
    else if (EqualsNoCase(button.Id, "game.min"))
        Minimize();
    else if (EqualsNoCase(button.Id, "game.max"))
        Maximize();
    else if (EqualsNoCase(button.Id, "game.restore"))
    {
        Maximized = false;
        Restore();
    }
    else if (EqualsNoCase(button.Id, "game.close"))
        RequestCloseGame();
    else if (EqualsNoCase(button.Id, "game.bosskey"))
        OpenBossKeyDialog();
    return true;
}

void GameWindow::OnClose()
{
    RequestCloseGame();
}

void GameWindow::Show()
{
    SkinWindow::Show();
    if (View)
        View->Show();
    if (NativeWindow() != nullptr)
        NativeWindow()->Invalidate(true);
}

void GameWindow::Hide()
{
    SkinWindow::Hide();
    if (View)
        View->Hide();
    if (CurrentMainFrame != nullptr)
        CurrentMainFrame->ShowTrayBalloon(u"微端窗口已隐藏");
}

void GameWindow::Maximize()
{
    xNativeWindow* native = NativeWindow();
    if (native == nullptr)
        return;
    const bool minimized = native->IsMinimized();
    RestoreRect = RestoreRectForMaximize(RestoreRect, native->ScreenRect(), minimized, Maximized);
    Maximized = true;
    // An iconic frame first comes back to its own size, or the move below
    // would only move its icon.
    if (minimized)
        native->Restore();
    native->SetScreenRect(native->MonitorWorkArea());
    PlaceView();
    native->Update();
    UpdateMaxRestoreButtons();
}

void GameWindow::Restore()
{
    xNativeWindow* native = NativeWindow();
    if (native == nullptr)
        return;
    native->SetScreenRect(RestoreRect);
    native->Update();
    UpdateMaxRestoreButtons();
}

void GameWindow::UpdateMaxRestoreButtons()
{
    SkinButton* restore = FindButton("game.restore");
    if (restore != nullptr)
        restore->Visible = Maximized;
    if (SkinButton* maximize = FindButton("game.max"))
        maximize->Visible = !Maximized;
    AnchorTopRightButtons();
    UpdateButtonStates();
    if (restore != nullptr && NativeWindow() != nullptr)
        NativeWindow()->Invalidate(false);
}

void GameWindow::FrameTick(float seconds)
{
    if (GameMainWindow != 0 && !IsGameWindowAlive(GameMainWindow))
    {
        LogLine("The game's window is gone; closing its frame");
        CloseGameWindow();
        return;
    }
    // A game that ended without ever showing a window leaves nothing to wait for.
    int exitCode = 0;
    if (GameMainWindow == 0 && GameProcess && GameProcess.Wait(0, &exitCode))
    {
        LogLine("The game ended (exit code %d); closing its frame", exitCode);
        GameProcess.Close();
        CloseGameWindow();
        return;
    }
    SkinWindow::FrameTick(seconds);
    PlaceView();
}

void GameWindow::OnPaintExtra(xCanvas& canvas)
{
    const xWindowRect outer = NativeWindow()->ScreenRect();
    const int32_t width = outer.Right - outer.Left;
    const int32_t height = outer.Bottom - outer.Top;
    const GameFrameSizes sizes = FrameSizes();
    if (Top)
        canvas.DrawImageStretched(*Top, 0, 0, width, sizes.TopHeight);
    if (Logo)
        canvas.DrawImage(*Logo, 10, 0);
    const xWString pattern = TheProfile.ServerNamePattern();
    if (!pattern.IsEmpty())
    {
        const xWString caption = ReplaceAll(pattern, u"$sid", xWString(TheProfile.SidString));
        const int32_t top = (sizes.TopHeight - 14) / 2 < 1 ? 0 : (sizes.TopHeight - 14) / 2;
        const float left = float((Logo ? Logo->Width() : 0) + 20);
        DrawSkinText(canvas, caption, CaptionColour, {left, float(top), 300.0f, 20.0f}, true);
    }
    if (Maximized)
        return;
    const int32_t sideHeight = height - sizes.TopHeight - sizes.BottomHeight;
    if (Bottom)
        canvas.DrawImageStretched(*Bottom, 0, height - sizes.BottomHeight, width, sizes.BottomHeight);
    if (Left)
    {
        canvas.DrawImageStretched(*Left, 0, sizes.TopHeight, sizes.SideWidth, sideHeight);
        canvas.DrawImageStretched(*Left, width - sizes.SideWidth, sizes.TopHeight, sizes.SideWidth,
                                  sideHeight);
    }
}

void GameWindow::StartGameProcess()
{
    if (GameProcess)
        return;
    const xWString executable = GameExecutablePath(PublishDir());
    const GameCommand command = GameProcessCommand(
        GameRunner(), executable,
        GameProcessArguments(View ? View->HandleValue() : 0, TheProfile.GetGameArguments()));
    LogLine("Run %s %s", xString(command.Program).c_str(), xString(command.Arguments).c_str());
    GameProcess = View ? View->StartGame(command.Program, command.Arguments)
                       : StartProcess(command.Program, command.Arguments, xWString(), nullptr);
    if (!GameProcess)
    {
        // The frame stays with an empty view; the player closes it to get the main frame back.
        LogErrorLine("The game could not be started: %s", xString(executable).c_str());
        return;
    }
    TheProfile.ReportStep("1014");
}

void GameWindow::RequestCloseGame()
{
    // Without a game there is nothing to wait for.
    if (!GameProcess)
    {
        CloseGameWindow();
        return;
    }
    if (!CloseRequestSupported)
        return;
    if (GameMainWindow != 0 && IsGameWindowAlive(GameMainWindow))
        AskGameWindowToClose(GameMainWindow);
    if (CloseTimer.Press(xPlatformTime::Seconds()) == CloseRequestTimer::Action::Force)
    {
        LogLine("The game did not close in time; closing its frame");
        CloseGameWindow();
    }
}

void GameWindow::CloseGameWindow()
{
    if (TheProfile.ExitWithGameWindow())
    {
        if (CurrentMainFrame != nullptr)
            CurrentMainFrame->RemoveTrayIcon();
        QuitLauncher();
    }
    Closing = true;
}

void GameWindow::OnGameMainWindow(uint64_t handle)
{
    LogLine("The game's main window: %llu", static_cast<unsigned long long>(handle));
    GameMainWindow = handle;
}

void GameWindow::OnGameCloseFrame()
{
    LogLine("The game asks to close its frame");
    CloseGameWindow();
}

void GameWindow::OnGameCanClose()
{
    if (!CloseRequestSupported)
        LogLine("The game closes on request");
    CloseRequestSupported = true;
}
