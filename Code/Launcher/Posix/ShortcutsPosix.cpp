#include "Shortcuts.h"

#include "xEngineFileSystem.h"
#include "xLogLine.h"
#include "xPath.h"
#include "xStringOps.h"
#include "xTextConversion.h"

#include <cstdlib>
#include <cstring>

// The desktop's links are Desktop Entry files in the user's applications folder,
// where menus and launchers find them. The portable side names a link
// "<folder>\<name>.lnk"; the file written for it is "<folder>/<name>.desktop".
// No desktop lets a program pin itself, so there is nothing to pin.

namespace
{
// The characters that make an Exec argument need quotes.
constexpr const char* ReservedInExec = " \t\n\"'\\><~|&;$*?#()`";

// One argument of an Exec line: quoted when it holds a reserved character, with
// '"', '`', '$' and '\' escaped inside the quotes; '%' doubled, since a single
// one starts a field code.
xString QuoteExecArgument(const xString& argument)
{
    bool needsQuotes = argument.IsEmpty();
    for (char c : argument)
        needsQuotes = needsQuotes || (c != 0 && std::strchr(ReservedInExec, c) != nullptr);
    xString quoted = needsQuotes ? "\"" : "";
    for (char c : argument)
    {
        if (needsQuotes && (c == '"' || c == '`' || c == '$' || c == '\\'))
            quoted += '\\';
        quoted += c;
        if (c == '%')
            quoted += '%';
    }
    if (needsQuotes)
        quoted += '"';
    return quoted;
}

// A value of the string type: backslash and the control characters escaped.
xString EscapeValue(const xString& value)
{
    xString escaped;
    for (char c : value)
    {
        if (c == '\\')
            escaped += "\\\\";
        else if (c == '\n')
            escaped += "\\n";
        else if (c == '\t')
            escaped += "\\t";
        else if (c == '\r')
            escaped += "\\r";
        else
            escaped += c;
    }
    return escaped;
}

xString DesktopEntry(const xString& name, const xWString& target, const xWString& description,
                     const xWString& iconPath)
{
    const bool isAddress = FindText(target, u"://") >= 0;
    xString entry = "[Desktop Entry]\nVersion=1.0\n";
    entry += isAddress
                 ? "Type=Link\nURL=" + EscapeValue(WideToUtf8(target)) + "\n"
                 : "Type=Application\nExec=" + EscapeValue(QuoteExecArgument(WideToUtf8(target))) + "\n";
    entry += "Name=" + EscapeValue(name) + "\n";
    if (!description.IsEmpty())
        entry += "Comment=" + EscapeValue(WideToUtf8(description)) + "\n";
    if (!iconPath.IsEmpty())
        entry += "Icon=" + EscapeValue(WideToUtf8(iconPath)) + "\n";
    return entry;
}

// "<folder>\<name>.lnk" as "<folder>/<name>.desktop"; the name alone in `name`.
xWString DesktopEntryPath(const xWString& linkPath, xWString& name)
{
    xWString path = ReplaceAll(linkPath, u"\\", u"/");
    if (EndsWith(path, u".lnk"))
        path.Truncate(path.Length() - 4);
    name = GetFileName(path);
    return path + u".desktop";
}
} // namespace

xWString QueryDesktopFolder()
{
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/')
        return Utf8ToWide(data) + u"/applications";
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return {};
    return Utf8ToWide(home) + u"/.local/share/applications";
}

bool SaveShellLink(const xWString& linkPath, const xWString& target, const xWString& description,
                   const xWString& iconPath)
{
    xWString name;
    const xWString path = DesktopEntryPath(linkPath, name);
    if (name.IsEmpty() || target.IsEmpty())
        return false;
    const xString entry = DesktopEntry(WideToUtf8(name), target, description, iconPath);
    xEngineFileSystem files;
    files.CreateDirectory(GetParentPath(path), true);
    if (!files.WriteThroughTemporary(path, path + u".tmp", entry.c_str(),
                                     static_cast<int64_t>(entry.Length()), true))
    {
        LogLine("The desktop entry could not be written: %s", WideToUtf8(path).c_str());
        return false;
    }
    return true;
}

void PinToTaskbar(const xWString&) {}

bool QuerySystemVersion(uint32_t&, uint32_t&)
{
    return false;
}
