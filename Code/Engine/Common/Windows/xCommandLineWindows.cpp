#include "xCommandLine.h"
#include "Windows/xWin32Text.h"

#include <windows.h>

xWString xCommandLine::OfThisProcess()
{
    return FromWinText(::GetCommandLineW());
}
