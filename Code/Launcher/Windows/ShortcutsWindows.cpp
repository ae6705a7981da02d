#include "Shortcuts.h"

#include "xStringOps.h"

#include "Windows/xComPtr.h"
#include "Windows/xWin32Text.h"
#include "Windows/xWindowsVersion.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

namespace
{
// The shell takes "\" paths; the launcher's own paths use "/".
xWString ShellPath(const xWString& path)
{
    return ReplaceAll(path, u"/", u"\\");
}
} // namespace

xWString QueryDesktopFolder()
{
    wchar_t buffer[MAX_PATH] = {};
    if (FAILED(SHGetFolderPathW(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, buffer)))
        return {};
    return FromWinText(buffer);
}

bool SaveShellLink(const xWString& linkPath, const xWString& target, const xWString& description,
                   const xWString& iconPath)
{
    xComPtr<IShellLinkW> link;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                link.PutVoid())))
        return false;
    // A URL (the home page) is no file path and is handed over as it is.
    link->SetPath(WinText(FindText(target, u"://") >= 0 ? target : ShellPath(target)));
    if (!description.IsEmpty())
        link->SetDescription(WinText(description));
    if (!iconPath.IsEmpty())
        link->SetIconLocation(WinText(ShellPath(iconPath)), 0);
    xComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid())))
        return false;
    return SUCCEEDED(file->Save(WinText(ShellPath(linkPath)), TRUE));
}

void PinToTaskbar(const xWString& path)
{
    ShellExecuteW(nullptr, L"taskbarpin", WinText(ShellPath(path)), nullptr, nullptr, SW_HIDE);
}

bool QuerySystemVersion(uint32_t& major, uint32_t& minor)
{
    return QueryKernelVersion(major, minor);
}
