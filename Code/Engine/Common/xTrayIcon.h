#pragma once

#include "xString.h"

#include <cstdint>

class xNativeWindow;

// The application's icon in the notification area. Its events arrive at the
// owning window as `callbackMessage` (the mouse event in lParam).
class xTrayIcon
{
public:
    xTrayIcon() = default;
    ~xTrayIcon();
    xTrayIcon(const xTrayIcon&) = delete;
    xTrayIcon& operator=(const xTrayIcon&) = delete;

    // Shows icon resource `iconId` of the program with `tip`; false when the
    // system would not (or there is no window).
    bool Add(xNativeWindow& window, uint32_t callbackMessage, int32_t iconId, const xWString& tip);
    // A balloon with a title and a text over the icon (nothing when not shown).
    void ShowBalloon(const xWString& title, const xWString& text);
    void Remove();
    bool IsShown() const { return Id != 0; }
    // Non-zero while shown.
    uint32_t Identifier() const { return Id; }

private:
    void* WindowHandle = nullptr;
    uint32_t Id = 0;
    uint32_t CallbackMessage = 0;
    int32_t IconId = 0;
    xWString Tip;
};
