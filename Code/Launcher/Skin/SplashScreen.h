#pragma once

#include "SkinWindow.h"
#include "SplashView.h"
#include "TransferRate.h"

#include "xImage.h"

#include <functional>
#include <memory>
#include <utility>

// The small window shown while the client is brought up to date (or the
// launcher updates itself): the skin's background, a bar cut from
// "loading_bar.png" and the status lines. It reads the published progress
// through `source` on every paint and tick; nothing pushes values into it.
class SplashScreen : public SkinWindow
{
public:
    using InputSource = std::function<SplashInputs()>;

    SplashScreen(xAppWindow& app, xWString defaultTitle, InputSource source);
    ~SplashScreen() override;

    // Called on every tick once the client is ready (the update done, or local
    // mode, and no font installing): the owner starts the game.
    void SetReadyAction(std::function<void()> action) { ReadyAction = std::move(action); }

    void OnPaintExtra(xCanvas& canvas) override;
    // Repaints ten times a second and mirrors the progress on the taskbar button.
    void FrameTick(float seconds) override;

private:
    // The inputs with the rate and time left filled in.
    SplashInputs ReadInputs() const;

    InputSource Source;
    std::function<void()> ReadyAction;
    std::shared_ptr<xImage> Bar;
    float RepaintSeconds = 0.0f;
    // Fed the bytes moved on every tick.
    TransferRate Rate;
};

// The one splash screen, or null.
extern SplashScreen* CurrentSplash;
