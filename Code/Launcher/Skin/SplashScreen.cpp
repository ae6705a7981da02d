#include "SplashScreen.h"

#include "SkinPainter.h"

#include <utility>

SplashScreen* CurrentSplash = nullptr;

namespace
{
constexpr float RepaintInterval = 0.1f;
}

SplashScreen::SplashScreen(xAppWindow& app, xWString defaultTitle, InputSource source)
    : SkinWindow(app, std::move(defaultTitle)), Source(std::move(source)),
      Bar(LoadSkinPicture("loading_bar.png"))
{
    CurrentSplash = this;
}

SplashScreen::~SplashScreen()
{
    if (CurrentSplash == this)
        CurrentSplash = nullptr;
}

void SplashScreen::OnPaintExtra(xCanvas& canvas)
{
    const xWindowRect outer = NativeWindow()->ScreenRect();
    PaintSplash(canvas, ChooseSplashView(Source()), Bar.get(), outer.Right - outer.Left);
}

void SplashScreen::FrameTick(float seconds)
{
    xNativeWindow* native = NativeWindow();
    if (!IsShown() || native == nullptr || native->Handle() == nullptr)
        return;
    RepaintSeconds += seconds;
    const SplashInputs inputs = Source();
    if (RepaintSeconds > RepaintInterval)
    {
        native->Invalidate(false);
        RepaintSeconds = 0.0f;
        if (App.HasTaskbar())
        {
            const TaskbarProgress progress = ChooseTaskbarProgress(inputs);
            App.SetTaskbarProgressState(native, progress.State);
            if (progress.HasValue)
                App.SetTaskbarProgressValue(native, progress.Completed, TaskbarProgressTotal);
        }
    }
    if (ReadyAction && IsClientReady(inputs))
        ReadyAction();
}
