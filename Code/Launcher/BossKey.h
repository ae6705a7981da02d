#pragma once

#include "xString.h"

#include <cstdint>

// The boss key: a system-wide hot key, chosen in a small dialog, that hides the
// game frame at once and brings it back on the next press. It is registered on
// the game frame's window and remembered in "Setting.ini" beside the launcher.
// Main thread only.

// The hot-key control's format: low byte the virtual key, high byte the
// HOTKEYF_ flags (shift 0x01, control 0x02, alt 0x04, extended 0x08).
extern uint16_t BossKeyValue;
extern bool BossKeyEnabled;

// What the dialog offers when no key was ever chosen: Alt+E.
constexpr uint16_t DefaultBossKey = 0x0445;
// The hot key's id on the game frame's window.
constexpr int32_t BossKeyHotKeyId = 0;

// RegisterHotKey's MOD_ flags for a value's HOTKEYF_ flags (the extended-key
// flag has no counterpart there and is dropped).
uint32_t BossKeyModifiers(uint16_t value);

// The settings file's one line, as "%d,%d" writes it (no line end).
xString FormatBossKeySettings(uint16_t value, bool enabled);
// The key (0 to 65535) and the flag (0 or 1) of "<key>,<0|1>", a line end
// allowed after them; anything else is logged and reads as 0 and 0.
struct StoredBossKey
{
    int32_t Value = 0;
    int32_t Enabled = 0;
};
StoredBossKey ParseBossKeySettings(const xString& text);

// "Setting.ini" in the launcher's folder.
xWString BossKeySettingsPath();
// The file's text (its first 4 KiB); false when it cannot be opened.
bool ReadSettingsFile(const xWString& path, xString& text);
// Writes the current value and flag as the first line, keeping the lines after
// it; a file that cannot be opened is skipped.
void SaveBossKeyTo(const xWString& path);
// Reads the first line. Takes a stored key only when both numbers are non-zero, and registers it; a
// missing file or a stored disabled key leaves the values as they are.
void LoadBossKeyFrom(const xWString& path);

// The game frame's "game.bosskey" button: the dialog, created once, then shown again.
void OpenBossKeyDialog();
// The dialog's OK and Escape: takes the key from it, registers or unregisters,
// saves, hides the dialog.
void ApplyBossKey();
// On the game frame's window; without a game frame nothing happens.
void RegisterBossKey();
void UnregisterBossKey();
void SaveBossKey();
// When a game frame loads.
void LoadBossKey();

// The platform's side (Windows: the dialog and RegisterHotKey; elsewhere no
// dialog and nothing to register).
// The key shown in the dialog's hot-key control into BossKeyValue, when the dialog exists.
void ReadBossKeyFromDialog();
void HideBossKeyDialog();
// The system's result (non-zero on success) for a window's system handle.
int32_t RegisterWindowHotKey(void* window, int32_t id, uint32_t modifiers, uint32_t virtualKey);
int32_t UnregisterWindowHotKey(void* window, int32_t id);
