#include "xInputRules.h"

namespace
{
// The Windows constants, kept here so that the rules need no system header.
constexpr uint32_t WmSize = 0x0005;
constexpr uint32_t WmActivate = 0x0006;
constexpr uint32_t WmClose = 0x0010;
constexpr uint32_t WmShowWindow = 0x0018;
constexpr uint32_t WmActivateApp = 0x001C;
constexpr uint32_t WmSetCursor = 0x0020;
constexpr uint32_t WmMouseActivate = 0x0021;
constexpr uint32_t WmInputLangChangeRequest = 0x0050;
constexpr uint32_t WmInputLangChange = 0x0051;
constexpr uint32_t WmHelp = 0x0053;
constexpr uint32_t WmNcMouseMove = 0x00A0;
constexpr uint32_t WmNcLButtonDblClk = 0x00A3;
constexpr uint32_t WmInputDeviceChange = 0x00FE;
constexpr uint32_t WmInput = 0x00FF;
constexpr uint32_t WmKeyDown = 0x0100;
constexpr uint32_t WmKeyUp = 0x0101;
constexpr uint32_t WmChar = 0x0102;
constexpr uint32_t WmSysKeyUp = 0x0105;
constexpr uint32_t WmImeStartComposition = 0x010D;
constexpr uint32_t WmImeComposition = 0x010F;
constexpr uint32_t WmMouseMove = 0x0200;
constexpr uint32_t WmLButtonDown = 0x0201;
constexpr uint32_t WmMouseWheel = 0x020A;
constexpr uint32_t WmXButtonDown = 0x020B;
constexpr uint32_t WmXButtonDblClk = 0x020D;
constexpr uint32_t WmSizing = 0x0214;
constexpr uint32_t WmEnterSizeMove = 0x0231;
constexpr uint32_t WmExitSizeMove = 0x0232;
constexpr uint32_t WmImeSetContext = 0x0281;
constexpr uint32_t WmImeNotify = 0x0282;
constexpr uint32_t WmImeChar = 0x0286;
constexpr uint32_t WmImeRequest = 0x0288;
constexpr uint32_t WmMouseLeave = 0x02A3;
constexpr uint32_t WmDwmCompositionChanged = 0x031E;

constexpr uintptr_t VkShift = 0x10;
constexpr uintptr_t VkControl = 0x11;
constexpr uintptr_t VkMenu = 0x12;
constexpr uintptr_t VkCapital = 0x14;
constexpr uintptr_t VkSpace = 0x20;
constexpr uintptr_t VkF4 = 0x73;
constexpr uint32_t VkRShift = 0xA1;

constexpr uintptr_t HtCaption = 2;
constexpr uintptr_t HtMinButton = 8;
constexpr uintptr_t HtMaxButton = 9;
constexpr uintptr_t HtClose = 20;

constexpr uintptr_t ScMaximize = 0xF030;
constexpr uintptr_t ScRestore = 0xF120;

constexpr uint32_t WaInactive = 0;
constexpr uint32_t WaClickActive = 2;

constexpr intptr_t ExtendedKeyBit = intptr_t(1) << 24;
constexpr intptr_t AltDownBit = intptr_t(1) << 29;
constexpr intptr_t RepeatBit = intptr_t(1) << 30;

bool Between(uint32_t value, uint32_t low, uint32_t high)
{
    return value >= low && value <= high;
}
} // namespace

InputRoute RouteOfMessage(uint32_t message)
{
    switch (message)
    {
    case WmSize:
    case WmClose:
    case WmInputLangChangeRequest:
    case WmInputLangChange:
    case WmHelp:
    case WmNcMouseMove:
    case WmMouseLeave:
    case WmNcLButtonDblClk:
    case WmKeyDown:
    case WmKeyUp:
    case WmChar:
    case WmSysKeyUp:
    // The system's own composition and candidate windows must not show over the skin.
    case WmImeSetContext:
    case WmImeNotify:
    case WmImeChar:
    case WmImeRequest:
        return InputRoute::Input;
    case WmActivate:
    case WmShowWindow:
    case WmSetCursor:
    case WmMouseActivate:
    case WmActivateApp:
    case WmSizing:
    case WmEnterSizeMove:
    case WmExitSizeMove:
    case WmDwmCompositionChanged:
        return InputRoute::InputThenDefault;
    default:
        if (Between(message, WmImeStartComposition, WmImeComposition) ||
            Between(message, WmMouseMove, WmXButtonDblClk))
            return InputRoute::Input;
        return InputRoute::None;
    }
}

bool IsKeyMessage(uint32_t message)
{
    return Between(message, WmKeyDown, WmChar);
}

bool IsDroppedWhenNotInteractive(uint32_t message)
{
    // WM_NCLBUTTON* (0xA1 to 0xA3) and WM_NCXBUTTONDOWN (0xAA) are not among them.
    return IsKeyMessage(message) || message == WmNcMouseMove || Between(message, 0x00A4, 0x00A9) ||
           Between(message, 0x00AB, 0x00AD) || Between(message, WmMouseMove, 0x020E) ||
           Between(message, 0x02A0, 0x02A3) || message == WmInputDeviceChange || message == WmInput;
}

xMouseMessage ClassifyMouseMessage(uint32_t message, uintptr_t wParam)
{
    xMouseMessage mouse;
    // Leaving is a move too: the skin looks where the pointer is now.
    if (message == WmMouseMove || message == WmNcMouseMove || message == WmMouseLeave)
        mouse.Call = MouseCall::Move;
    else if (message == WmMouseWheel)
        mouse.Call = MouseCall::Wheel;
    else if (message == WmNcLButtonDblClk)
        mouse.Call = MouseCall::DoubleClick;
    else if (Between(message, WmLButtonDown, WmXButtonDblClk))
    {
        // Three messages per button: down, up, double click; left, right, middle, (wheel), extra.
        static const MouseButton Buttons[] = {MouseButton::Left, MouseButton::Right, MouseButton::Middle};
        const uint32_t offset = message >= WmXButtonDown ? message - WmXButtonDown : message - WmLButtonDown;
        static const MouseCall Calls[] = {MouseCall::Down, MouseCall::Up, MouseCall::DoubleClick};
        mouse.Call = Calls[offset % 3];
        if (message >= WmXButtonDown)
            mouse.Button = ((wParam >> 16) & 1) ? MouseButton::Extra1 : MouseButton::Extra2;
        else
            mouse.Button = Buttons[offset / 3];
        mouse.ClientPoint = true;
    }
    return mouse;
}

float WheelSteps(uintptr_t wParam)
{
    return static_cast<int16_t>(static_cast<uint16_t>(wParam >> 16)) * (1.0f / 120.0f);
}

ActivationKind ActivationKindOf(uintptr_t wParam, bool mouseActivation)
{
    const uint32_t state = static_cast<uint16_t>(wParam);
    if (state == WaInactive)
        return ActivationKind::Deactivated;
    if (state == WaClickActive || mouseActivation)
        return ActivationKind::ActivatedByClick;
    return ActivationKind::Activated;
}

bool IsMouseActivation(intptr_t lParam)
{
    return (lParam & 1) == 0;
}

ModifierKey ModifierOfKey(uintptr_t virtualKey, intptr_t keyData, uint32_t shiftKey)
{
    const bool extended = (keyData & ExtendedKeyBit) != 0;
    switch (virtualKey)
    {
    case VkShift:
        return shiftKey == VkRShift ? ModifierKey::RightShift : ModifierKey::LeftShift;
    case VkControl:
        return extended ? ModifierKey::RightControl : ModifierKey::LeftControl;
    case VkMenu:
        return extended ? ModifierKey::RightAlt : ModifierKey::LeftAlt;
    case VkCapital:
        return ModifierKey::CapsLock;
    default:
        return ModifierKey::None;
    }
}

uint32_t ScanCodeOf(intptr_t keyData)
{
    return static_cast<uint32_t>(keyData >> 16) & 0xFF;
}

bool IsRepeat(intptr_t keyData)
{
    return (keyData & RepeatBit) != 0;
}

bool IsSysKeyDownInput(uintptr_t virtualKey)
{
    return virtualKey != VkF4 && virtualKey != VkSpace;
}

bool IsSysCharSwallowed(uintptr_t character, intptr_t keyData)
{
    return !((keyData & AltDownBit) != 0 && character == L' ');
}

NonClientPress NonClientPressOf(uintptr_t hitCode)
{
    switch (hitCode)
    {
    case HtCaption:
        return NonClientPress::TellThenPassOn;
    case HtMinButton:
    case HtMaxButton:
    case HtClose:
        return NonClientPress::AskToPassOn;
    default:
        return NonClientPress::PassOn;
    }
}

int32_t SystemCommandAction(uintptr_t wParam)
{
    // The low four bits are the system's own.
    switch (wParam & 0xFFF0)
    {
    case ScMaximize:
        return static_cast<int32_t>(WindowButtonAction::Maximize);
    case ScRestore:
        return static_cast<int32_t>(WindowButtonAction::Restore);
    default:
        return 0;
    }
}
