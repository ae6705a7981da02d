#include "xLogFileTarget.h"

#include "xTextConversion.h"
#include "Windows/xWin32Text.h"

#include <share.h>
#include <stdio.h>

FILE* xLogFileTarget::OpenStream(const xString& path)
{
    // The wide open, so that a base path under a user folder with Chinese (or any
    // non-ANSI) characters still works; _SH_DENYNO lets others read the log live.
    const xWString widePath = Utf8ToWide(path);
    return ::_wfsopen(WinText(widePath), L"wt", _SH_DENYNO);
}
