#include "SplashScreen.h"

#include "SkinPainter.h"

#include "xPlatformTime.h"

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

SplashInputs SplashScreen::ReadInputs() const
{
    SplashInputs inputs = Source();
    inputs.BytesPerSecond = Rate.BytesPerSecond();
    const uint64_t remaining =
        inputs.BytesExpected > inputs.BytesMoved ? inputs.BytesExpected - inputs.BytesMoved : 0;
    // Without a known size there is a rate but no time left.
    inputs.SecondsLeft = inputs.BytesExpected == 0 ? -1.0 : Rate.SecondsLeft(remaining);
    return inputs;
}

void SplashScreen::OnPaintExtra(xCanvas& canvas)
{
    const xWindowRect outer = NativeWindow()->ScreenRect();
    PaintSplash(canvas, ChooseSplashView(ReadInputs()), Bar.get(), outer.Right - outer.Left);
}

void SplashScreen::FrameTick(float seconds)
{
    xNativeWindow* native = NativeWindow();
    if (!IsShown() || native == nullptr || native->Handle() == nullptr)
        return;
    RepaintSeconds += seconds;
    const SplashInputs inputs = Source();
    Rate.AddSample(xPlatformTime::Seconds(), inputs.BytesMoved);
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
