#pragma once

#include <cstdint>

// What the window messages mean, as plain values: which messages are input,
// which mouse button and listener call a mouse message stands for, which side a
// modifier key is on, and which system keys keep their system meaning. The
// numbers are the system's message, key and hit-test codes; the Windows layer
// only reads the parameters and calls the listener.

enum class MouseButton : int32_t
{
    Left = 0,
    Middle = 1,
    Right = 2,
    Extra1 = 3,
    Extra2 = 4,
};

enum class ActivationKind : int32_t
{
    Activated = 0,
    ActivatedByClick = 1,
    Deactivated = 2,
};

enum class WindowButtonAction : int32_t
{
    // A press on the caption or a caption button.
    Press = 1,
    Maximize = 2,
    Restore = 3,
};

// How the window procedure treats a message that becomes an input record.
enum class InputRoute : int32_t
{
    // Not an input message: handled on its own, else offered to the hooks.
    None = 0,
    // Dispatched and answered with 0; the system never sees it.
    Input = 1,
    // Dispatched, then left to the system as well.
    InputThenDefault = 2,
};

InputRoute RouteOfMessage(uint32_t message);

// Input that a window which takes no input drops: keys, mouse and raw input.
bool IsDroppedWhenNotInteractive(uint32_t message);
bool IsKeyMessage(uint32_t message);

enum class MouseCall : int32_t
{
    None = 0,
    Down,
    Up,
    DoubleClick,
    Wheel,
    Move,
};

struct xMouseMessage
{
    MouseCall Call = MouseCall::None;
    MouseButton Button = MouseButton::Left;
    // The point in lParam is relative to the client area (else it is on screen already).
    bool ClientPoint = false;
};

// The listener call of a mouse message; wParam names the extra button.
xMouseMessage ClassifyMouseMessage(uint32_t message, uintptr_t wParam);

// Wheel notches of a WM_MOUSEWHEEL (120 per notch, negative towards the user).
float WheelSteps(uintptr_t wParam);

// WM_ACTIVATE's state (low word of wParam); a preceding mouse activation makes
// a plain activation count as a click.
ActivationKind ActivationKindOf(uintptr_t wParam, bool mouseActivation);

// WM_MOUSEACTIVATE: whether the coming activation is remembered as a click
// (the hit-test code in the low word of lParam has its low bit clear).
bool IsMouseActivation(intptr_t lParam);

// The modifier bytes xAppWindow keeps.
enum class ModifierKey : int32_t
{
    None = -1,
    LeftShift = 0,
    RightShift,
    LeftControl,
    RightControl,
    LeftAlt,
    RightAlt,
    CapsLock,
    Count,
};

// The modifier a key message changes. Shift's side comes from its scan code,
// which only the system can map: `shiftKey` is that mapping (VK_LSHIFT or
// VK_RSHIFT); control and alt have the extended-key bit (24) for the right one.
ModifierKey ModifierOfKey(uintptr_t virtualKey, intptr_t keyData, uint32_t shiftKey);

// The scan code in bits 16 to 23 of a key message's data.
uint32_t ScanCodeOf(intptr_t keyData);
// Bit 30: the key was already down.
bool IsRepeat(intptr_t keyData);

// WM_SYSKEYDOWN is input except for F4 and Space, which keep their system
// meaning (Alt+F4 closes, Alt+Space opens the window menu).
bool IsSysKeyDownInput(uintptr_t virtualKey);
// WM_SYSCHAR is swallowed (no beep for Alt+letter) unless it is Alt+Space.
bool IsSysCharSwallowed(uintptr_t character, intptr_t keyData);

// A button-down on the non-client area (WM_NC?BUTTONDOWN with its hit-test code).
enum class NonClientPress : int32_t
{
    // Not a button the listener hears of: the system's.
    PassOn = 0,
    // The caption: the listener hears of it, the system moves the window anyway.
    TellThenPassOn,
    // Minimise, maximise and close: the system acts only if the listener allows.
    AskToPassOn,
};

NonClientPress NonClientPressOf(uintptr_t hitCode);

// WM_SYSCOMMAND's maximise and restore, which the listener hears of; 0 for others.
int32_t SystemCommandAction(uintptr_t wParam);
