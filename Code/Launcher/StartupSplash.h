#pragma once

#include "SplashScreen.h"
#include "UpdateRetry.h"

class xAppWindow;

// The splash screen on its own, for a start with a login on the command line:
// shown centred while the client update runs, and the one that tries a failed
// update again. It stands in the frame loop where the main frame will be.
class StartupSplash
{
public:
    explicit StartupSplash(xAppWindow& app);

    void FrameTick(float seconds);
    SplashScreen& Splash() { return Screen; }

private:
    SplashInputs ReadInputs() const;
    void TryUpdateAgain();

    UpdateRetry Retry;
    SplashScreen Screen;
};
