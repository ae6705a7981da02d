#include "Shortcuts.h"

#include "ProductProfile.h"
#include "ResPack.h"

#include "xFileSystem.h"
#include "xLogLine.h"
#include "xPath.h"
#include "xSystemPaths.h"

namespace
{
// An empty cache (the desktop could not be found) is asked again next time.
xWString CachedGameShortcutPath;
} // namespace

xWString ShortcutLinkPath(const xWString& desktopFolder, const xWString& name)
{
    if (desktopFolder.IsEmpty() || name.IsEmpty())
        return {};
    xWString path = desktopFolder;
    path += u"\\";
    path += name;
    path += u".lnk";
    return path;
}

bool TaskbarPinApplies(uint32_t major, uint32_t minor)
{
    const uint32_t version = major * 100 + minor;
    return version >= 601 && version < 1000;
}

xWString GameShortcutPath()
{
    if (CachedGameShortcutPath.IsEmpty())
        CachedGameShortcutPath = ShortcutLinkPath(QueryDesktopFolder(), TheProfile.ShortcutName());
    return CachedGameShortcutPath;
}

bool RefreshGameShortcut()
{
    const xWString link = GameShortcutPath();
    if (link.IsEmpty())
        return false;
    // No description or icon: the link shows the executable's own icon.
    const bool saved = SaveShellLink(link, GetModulePath(), {}, {});
    LogLine("Game shortcut %s: %s", saved ? "saved" : "not saved", xString(link).c_str());
    return saved;
}

void PinGameShortcut()
{
    uint32_t major = 0;
    uint32_t minor = 0;
    if (!QuerySystemVersion(major, minor) || !TaskbarPinApplies(major, minor))
        return;
    PinToTaskbar(GameShortcutPath());
}

void CreateWebShortcut()
{
    const xWString name = TheProfile.WebShortcutName();
    if (name.IsEmpty())
    {
        // A nameless link would be a file called ".lnk" on the player's desktop.
        LogLine("No home-page shortcut: the product names none");
        return;
    }
    // The link itself is looked for, so one the player keeps is left alone.
    const xWString link = ShortcutLinkPath(QueryDesktopFolder(), name);
    if (link.IsEmpty() || xFileSystem().IsFile(link))
        return;
    CreateShortcut(link, TheProfile.HomePageUrl(), name);
}

void CreateShortcut(const xWString& linkPath, const xWString& target, const xWString& description)
{
    const xWString icon = JoinPath(GetModuleDirectory(), u"game.ico");
    TheResPack().ExtractFile(u"game.ico", icon);
    SaveShellLink(linkPath, target, description, xFileSystem().IsFile(icon) ? icon : xWString());
}
