#include "xSystemPaths.h"

#include "xStringOps.h"
#include "xWin32Text.h"

#include <windows.h>
#include <shlobj.h>

xWString QueryModulePath()
{
    // Paths beyond 1024 characters are cut; the launcher lives in ordinary folders.
    wchar_t buffer[1024] = {};
    const DWORD length = GetModuleFileNameW(nullptr, buffer, 1024);
    if (length == 0)
        return {};
    return FromWinText(buffer, length);
}

xWString QueryAppDataFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return {};
    return FromWinText(buffer);
}

xWString QuerySystemFontFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_FONTS, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return {};
    return FromWinText(buffer);
}

bool ChangeCurrentDirectory(const xWString& folder)
{
    return SetCurrentDirectoryW(WinText(ReplaceAll(folder, u"/", u"\\"))) != FALSE;
}
