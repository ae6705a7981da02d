#include "xInputRules.h"

#include <gtest/gtest.h>

#include <tuple>

TEST(xInputRules, MessagesAreRoutedAndGatedByNumber)
{
    using R = InputRoute;
    // Message, route, dropped while the window takes no input.
    const std::tuple<uint32_t, InputRoute, bool> cases[] = {
        {0x0005, R::Input, false},            // WM_SIZE
        {0x0006, R::InputThenDefault, false}, // WM_ACTIVATE
        {0x031E, R::InputThenDefault, false}, // WM_DWMCOMPOSITIONCHANGED
        {0x00A0, R::Input, true},             // WM_NCMOUSEMOVE
        {0x00A3, R::Input, false},            // WM_NCLBUTTONDBLCLK
        {0x00A1, R::None, false},             // WM_NCLBUTTONDOWN: handled on its own
        {0x00A4, R::None, true},              // WM_NCRBUTTONDOWN
        {0x00AA, R::None, false},             // WM_NCXBUTTONDOWN
        {0x00FF, R::None, true},              // WM_INPUT: handled on its own
        {0x0100, R::Input, true},             // WM_KEYDOWN
        {0x0104, R::None, false},             // WM_SYSKEYDOWN: handled on its own
        {0x0105, R::Input, false},            // WM_SYSKEYUP
        {0x010F, R::Input, false},            // WM_IME_COMPOSITION
        {0x0110, R::None, false},             // WM_INITDIALOG
        {0x0200, R::Input, true},             // WM_MOUSEMOVE
        {0x020D, R::Input, true},             // WM_XBUTTONDBLCLK
        {0x020E, R::None, true},              // WM_MOUSEHWHEEL
        {0x02A3, R::Input, true},             // WM_MOUSELEAVE
    };
    for (const auto& [message, route, dropped] : cases)
    {
        EXPECT_EQ(RouteOfMessage(message), route) << std::hex << message;
        EXPECT_EQ(IsDroppedWhenNotInteractive(message), dropped) << std::hex << message;
    }
}

TEST(xInputRules, MouseMessagesNameTheirButtonAndCall)
{
    using B = MouseButton;
    using C = MouseCall;
    // Message, wParam, call, button, point relative to the client area (on the
    // caption, WM_NCLBUTTONDBLCLK's is on screen already).
    const std::tuple<uint32_t, uintptr_t, MouseCall, MouseButton, bool> cases[] = {
        {0x0200, 0, C::Move, B::Left, false},        {0x00A0, 0, C::Move, B::Left, false},
        {0x0201, 0, C::Down, B::Left, true},         {0x0203, 0, C::DoubleClick, B::Left, true},
        {0x0204, 0, C::Down, B::Right, true},        {0x0208, 0, C::Up, B::Middle, true},
        {0x020A, 0, C::Wheel, B::Left, false},       {0x020B, 0x10000, C::Down, B::Extra1, true},
        {0x020C, 0x20000, C::Up, B::Extra2, true},   {0x020D, 0x10020, C::DoubleClick, B::Extra1, true},
        {0x00A3, 2, C::DoubleClick, B::Left, false}, {0x020E, 0, C::None, B::Left, false},
        {0x02A3, 0, C::Move, B::Left, false},
    };
    for (const auto& [message, wParam, call, button, client] : cases)
    {
        const xMouseMessage mouse = ClassifyMouseMessage(message, wParam);
        EXPECT_EQ(std::make_tuple(mouse.Call, mouse.Button, mouse.ClientPoint),
                  std::make_tuple(call, button, client))
            << std::hex << message;
    }
    EXPECT_EQ(WheelSteps(uintptr_t(uint16_t(-240)) << 16 | 0x8), -2.0f);
    EXPECT_EQ(WheelSteps(uintptr_t(60) << 16), 0.5f);
}

TEST(xInputRules, ModifierSidesComeFromTheScanCodeOrTheExtendedBit)
{
    constexpr intptr_t Extended = intptr_t(1) << 24;
    using M = ModifierKey;
    // Virtual key, key data, the system's mapping of the scan code, modifier.
    const std::tuple<uintptr_t, intptr_t, uint32_t, ModifierKey> keys[] = {
        {0x10, 0x002A0001, 0xA0, M::LeftShift}, {0x10, 0x00360001, 0xA1, M::RightShift},
        {0x11, 0x001D0001, 0, M::LeftControl},  {0x11, Extended | 0x001D0001, 0, M::RightControl},
        {0x12, 0x20380001, 0, M::LeftAlt},      {0x12, Extended | 0x20380001, 0, M::RightAlt},
        {0x14, 0x003A0001, 0, M::CapsLock},     {0x41, Extended | 0x001E0001, 0xA1, M::None},
    };
    for (const auto& [key, data, shift, modifier] : keys)
        EXPECT_EQ(ModifierOfKey(key, data, shift), modifier) << std::hex << key << " " << data;
    EXPECT_EQ(ScanCodeOf(Extended | 0x00360001), 0x36u);
}
