#include "xVirtualKeysGtk.h"

namespace
{
struct KeyRange
{
    uint32_t FirstKey;
    uint32_t LastKey;
    guint FirstKeyval;
};

// Virtual keys whose key values follow each other as the keys do.
constexpr KeyRange KeyRanges[] = {
    {'0', '9', GDK_KEY_0},
    {'A', 'Z', GDK_KEY_a},
    {0x60, 0x69, GDK_KEY_KP_0},
    {0x70, 0x87, GDK_KEY_F1},
};

struct SingleKey
{
    uint32_t Key;
    guint Keyval;
};

// A key's first row is the one a virtual key becomes.
constexpr SingleKey SingleKeys[] = {
    {0x08, GDK_KEY_BackSpace},    {0x09, GDK_KEY_Tab},         {0x09, GDK_KEY_ISO_Left_Tab},
    {0x0D, GDK_KEY_Return},       {0x0D, GDK_KEY_KP_Enter},    {0x13, GDK_KEY_Pause},
    {0x14, GDK_KEY_Caps_Lock},    {0x1B, GDK_KEY_Escape},      {0x20, GDK_KEY_space},
    {0x21, GDK_KEY_Page_Up},      {0x22, GDK_KEY_Page_Down},   {0x23, GDK_KEY_End},
    {0x24, GDK_KEY_Home},         {0x25, GDK_KEY_Left},        {0x26, GDK_KEY_Up},
    {0x27, GDK_KEY_Right},        {0x28, GDK_KEY_Down},        {0x2C, GDK_KEY_Print},
    {0x2D, GDK_KEY_Insert},       {0x2E, GDK_KEY_Delete},      {0x5B, GDK_KEY_Super_L},
    {0x5C, GDK_KEY_Super_R},      {0x5D, GDK_KEY_Menu},        {0x6A, GDK_KEY_KP_Multiply},
    {0x6B, GDK_KEY_KP_Add},       {0x6D, GDK_KEY_KP_Subtract}, {0x6E, GDK_KEY_KP_Decimal},
    {0x6F, GDK_KEY_KP_Divide},    {0x90, GDK_KEY_Num_Lock},    {0x91, GDK_KEY_Scroll_Lock},
    {0xA0, GDK_KEY_Shift_L},      {0xA1, GDK_KEY_Shift_R},     {0xA2, GDK_KEY_Control_L},
    {0xA3, GDK_KEY_Control_R},    {0xA4, GDK_KEY_Alt_L},       {0xA5, GDK_KEY_Alt_R},
    {0xBA, GDK_KEY_semicolon},    {0xBB, GDK_KEY_equal},       {0xBC, GDK_KEY_comma},
    {0xBD, GDK_KEY_minus},        {0xBE, GDK_KEY_period},      {0xBF, GDK_KEY_slash},
    {0xC0, GDK_KEY_grave},        {0xDB, GDK_KEY_bracketleft}, {0xDC, GDK_KEY_backslash},
    {0xDD, GDK_KEY_bracketright}, {0xDE, GDK_KEY_apostrophe},
};
} // namespace

uint32_t VirtualKeyOfKeyval(guint keyval)
{
    // Letters by their lower-case value: a shifted "B" is the B key.
    const guint lower = gdk_keyval_to_lower(keyval);
    for (const SingleKey& key : SingleKeys)
        if (key.Keyval == lower)
            return key.Key;
    for (const KeyRange& range : KeyRanges)
        if (lower >= range.FirstKeyval && lower <= range.FirstKeyval + (range.LastKey - range.FirstKey))
            return range.FirstKey + (lower - range.FirstKeyval);
    return 0;
}

guint KeyvalOfVirtualKey(uint32_t virtualKey)
{
    for (const SingleKey& key : SingleKeys)
        if (key.Key == virtualKey)
            return key.Keyval;
    for (const KeyRange& range : KeyRanges)
        if (virtualKey >= range.FirstKey && virtualKey <= range.LastKey)
            return range.FirstKeyval + (virtualKey - range.FirstKey);
    return 0;
}
