#include "xTrayIcon.h"

// No notification area is wired up natively: the icon is never shown.

xTrayIcon::~xTrayIcon() = default;

bool xTrayIcon::Add(xNativeWindow&, uint32_t, int32_t, const xWString&)
{
    return false;
}

void xTrayIcon::ShowBalloon(const xWString&, const xWString&) {}

void xTrayIcon::Remove() {}
