#include "BossKey.h"

#include "GameWindow.h"

#include "xFileSystem.h"
#include "xLogLine.h"
#include "xPath.h"
#include "xSystemPaths.h"

#include <cstdio>

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

// The file is one short line; anything past this is not read.
constexpr int64_t SettingsReadLimit = 64;

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
    int value = 0;
    int enabled = 0;
    // sscanf stops at the first mismatch and leaves the rest as it was: the
    // file's reader has always accepted "1093" alone or trailing text.
    std::sscanf(text.c_str(), "%d,%d", &value, &enabled);
    return {value, enabled};
}

xWString BossKeySettingsPath()
{
    return JoinPath(GetModuleDirectory(), u"Setting.ini");
}

void SaveBossKeyTo(const xWString& path)
{
    std::unique_ptr<xFile> file = xFileSystem().OpenWrite(path, false, false);
    if (!file)
        return;
    const xString line = FormatBossKeySettings(BossKeyValue, BossKeyEnabled);
    file->Write(line.c_str(), static_cast<int64_t>(line.Length()));
    file->Close();
}

void LoadBossKeyFrom(const xWString& path)
{
    std::unique_ptr<xFile> file = xFileSystem().OpenRead(path, true);
    if (!file)
        return;
    const int64_t size = file->GetSize();
    xString text;
    if (size > 0)
    {
        char buffer[SettingsReadLimit + 1] = {};
        const int64_t count = size < SettingsReadLimit ? size : SettingsReadLimit;
        if (file->Read(buffer, count))
            text = xString(buffer);
    }
    file->Close();
    const StoredBossKey stored = ParseBossKeySettings(text);
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
