#include "Shortcuts.h"

// Shell links and the taskbar are Windows's; natively there is no desktop to put
// a link on.

xWString QueryDesktopFolder()
{
    return {};
}

bool SaveShellLink(const xWString&, const xWString&, const xWString&, const xWString&)
{
    return false;
}

void PinToTaskbar(const xWString&) {}

bool QuerySystemVersion(uint32_t&, uint32_t&)
{
    return false;
}
