#include "BossKey.h"

#include "DownloadCap.h"
#include "GameWindow.h"

#include "xFileSystem.h"
#include "xLogLine.h"
#include "xPath.h"
#include "xSystemPaths.h"

#include <cctype>
#include <charconv>
#include <cstdio>
#include <vector>

uint16_t BossKeyValue = 0;
bool BossKeyEnabled = false;

namespace
{
// HOTKEYF_ (commctrl.h) and MOD_ (winuser.h) values; the two sets differ in order.
constexpr uint16_t HotKeyShift = 0x01;
constexpr uint16_t HotKeyControl = 0x02;
constexpr uint16_t HotKeyAlt = 0x04;
constexpr uint32_t ModAlt = 0x1;
constexpr uint32_t ModControl = 0x2;
constexpr uint32_t ModShift = 0x4;

// The file is a few short lines; anything past this is not read (nor kept).
constexpr int64_t SettingsReadLimit = 4096;

// A decimal number from 0 to `limit` at `cursor`, which then moves past it.
bool ReadBoundedNumber(const char*& cursor, const char* end, int32_t limit, int32_t& value)
{
    const std::from_chars_result result = std::from_chars(cursor, end, value);
    if (result.ec != std::errc() || value < 0 || value > limit)
        return false;
    cursor = result.ptr;
    return true;
}

void* GameFrameHandle()
{
    xNativeWindow* native = CurrentGameWindow != nullptr ? CurrentGameWindow->NativeWindow() : nullptr;
    return native != nullptr ? native->Handle() : nullptr;
}
} // namespace

uint32_t BossKeyModifiers(uint16_t value)
{
    const uint16_t flags = static_cast<uint16_t>(value >> 8);
    uint32_t modifiers = 0;
    if (flags & HotKeyShift)
        modifiers |= ModShift;
    if (flags & HotKeyControl)
        modifiers |= ModControl;
    if (flags & HotKeyAlt)
        modifiers |= ModAlt;
    return modifiers;
}

xString FormatBossKeySettings(uint16_t value, bool enabled)
{
    char text[32];
    std::snprintf(text, sizeof(text), "%d,%d", static_cast<int>(value), enabled ? 1 : 0);
    return xString(text);
}

StoredBossKey ParseBossKeySettings(const xString& text)
{
    const char* cursor = text.c_str();
    const char* end = cursor + text.Length();
    // A line end or blanks an editor left behind are no part of the setting.
    while (end > cursor && std::isspace(static_cast<unsigned char>(end[-1])))
        --end;
    int32_t value = 0;
    int32_t enabled = 0;
    if (ReadBoundedNumber(cursor, end, 0xFFFF, value) && cursor != end && *cursor == ',' &&
        ReadBoundedNumber(++cursor, end, 1, enabled) && cursor == end)
        return {value, enabled};
    LogErrorLine("Setting.ini holds no boss key of the form <key>,<0|1>; the defaults stay");
    return {};
}

xWString BossKeySettingsPath()
{
    return JoinPath(GetModuleDirectory(), u"Setting.ini");
}

bool ReadSettingsFile(const xWString& path, xString& text)
{
    text = xString();
    std::unique_ptr<xFile> file = xFileSystem().OpenRead(path, true);
    if (!file)
        return false;
    const int64_t size = file->GetSize();
    if (size > 0)
    {
        std::vector<char> buffer(SettingsReadLimit + 1, 0);
        const int64_t count = size < SettingsReadLimit ? size : SettingsReadLimit;
        if (file->Read(buffer.data(), count))
            text = xString(buffer.data());
    }
    file->Close();
    return true;
}

void SaveBossKeyTo(const xWString& path)
{
    // The lines after the key's (the download cap) stay as they were.
    xString old;
    ReadSettingsFile(path, old);
    const xString rest = SettingsAfterFirstLine(old);
    std::unique_ptr<xFile> file = xFileSystem().OpenWrite(path, false, false);
    if (!file)
        return;
    const xString text = FormatBossKeySettings(BossKeyValue, BossKeyEnabled) + rest;
    file->Write(text.c_str(), static_cast<int64_t>(text.Length()));
    file->Close();
}

void LoadBossKeyFrom(const xWString& path)
{
    xString text;
    if (!ReadSettingsFile(path, text))
        return;
    const xString rest = SettingsAfterFirstLine(text);
    const StoredBossKey stored = ParseBossKeySettings(xString(text.c_str(), text.Length() - rest.Length()));
    if (stored.Value == 0 || stored.Enabled == 0)
        return;
    BossKeyValue = static_cast<uint16_t>(stored.Value);
    BossKeyEnabled = true;
    RegisterBossKey();
}

void ApplyBossKey()
{
    ReadBossKeyFromDialog();
    if (BossKeyEnabled)
        RegisterBossKey();
    else
        UnregisterBossKey();
    SaveBossKey();
    HideBossKeyDialog();
}

void RegisterBossKey()
{
    void* window = GameFrameHandle();
    if (window == nullptr)
        return;
    // Windows keeps an earlier key of the same window and id beside the new one
    // (Wine replaces it), and UnregisterHotKey then removes only one of them: a
    // changed key would leave the old one hiding the frame.
    LogLine("UnregisterHotKey before RegisterHotKey, ret %d",
            UnregisterWindowHotKey(window, BossKeyHotKeyId));
    const int32_t result =
        RegisterWindowHotKey(window, BossKeyHotKeyId, BossKeyModifiers(BossKeyValue), BossKeyValue & 0xFFu);
    LogLine("RegisterHotKey, ret %d", result);
}

void UnregisterBossKey()
{
    void* window = GameFrameHandle();
    if (window == nullptr)
        return;
    LogLine("UnregisterHotKey, ret %d", UnregisterWindowHotKey(window, BossKeyHotKeyId));
}

void SaveBossKey()
{
    SaveBossKeyTo(BossKeySettingsPath());
}

void LoadBossKey()
{
    LoadBossKeyFrom(BossKeySettingsPath());
}
