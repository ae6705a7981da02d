#include "BossKey.h"

#include "LauncherMain.h"

#include "xAppWindow.h"
#include "xLogLine.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <vector>

// The hot key is a passive grab of its key on the X11 root window: the X server
// sends the press to this program whichever window has the focus, and a GDK
// event filter hands it to the window's listener as OnHotKey, as WM_HOTKEY
// reaches it under Windows. Wayland has no such grab: without an X11 display
// nothing is registered. The dialog is not built natively yet; the key comes
// from "Setting.ini".

namespace
{
// RegisterHotKey's modifier flags.
constexpr uint32_t ModAlt = 0x1;
constexpr uint32_t ModControl = 0x2;
constexpr uint32_t ModShift = 0x4;
constexpr uint32_t ModWin = 0x8;

struct HotKey
{
    void* Window = nullptr;
    int32_t Id = 0;
    KeyCode Code = 0;
    unsigned int Mask = 0;
    // WM_HOTKEY's lParam: the MOD_ flags, then the virtual key in the high word.
    intptr_t KeyData = 0;
};

std::vector<HotKey> HotKeys;
bool FilterInstalled = false;

struct KeyRange
{
    uint32_t FirstKey;
    uint32_t LastKey;
    KeySym FirstSym;
};

// Virtual keys whose X keysyms follow each other as the keys do.
constexpr KeyRange KeyRanges[] = {
    {'0', '9', XK_0},
    {'A', 'Z', XK_a},
    {0x60, 0x69, XK_KP_0},
    {0x70, 0x87, XK_F1},
};

struct SingleKey
{
    uint32_t Key;
    KeySym Sym;
};

constexpr SingleKey SingleKeys[] = {
    {0x08, XK_BackSpace},   {0x09, XK_Tab},        {0x0D, XK_Return},       {0x13, XK_Pause},
    {0x14, XK_Caps_Lock},   {0x1B, XK_Escape},     {0x20, XK_space},        {0x21, XK_Prior},
    {0x22, XK_Next},        {0x23, XK_End},        {0x24, XK_Home},         {0x25, XK_Left},
    {0x26, XK_Up},          {0x27, XK_Right},      {0x28, XK_Down},         {0x2C, XK_Print},
    {0x2D, XK_Insert},      {0x2E, XK_Delete},     {0x6A, XK_KP_Multiply},  {0x6B, XK_KP_Add},
    {0x6D, XK_KP_Subtract}, {0x6E, XK_KP_Decimal}, {0x6F, XK_KP_Divide},    {0x90, XK_Num_Lock},
    {0x91, XK_Scroll_Lock}, {0xBA, XK_semicolon},  {0xBB, XK_equal},        {0xBC, XK_comma},
    {0xBD, XK_minus},       {0xBE, XK_period},     {0xBF, XK_slash},        {0xC0, XK_grave},
    {0xDB, XK_bracketleft}, {0xDC, XK_backslash},  {0xDD, XK_bracketright}, {0xDE, XK_apostrophe},
};

KeySym KeySymOf(uint32_t virtualKey)
{
    for (const SingleKey& key : SingleKeys)
        if (key.Key == virtualKey)
            return key.Sym;
    for (const KeyRange& range : KeyRanges)
        if (virtualKey >= range.FirstKey && virtualKey <= range.LastKey)
            return range.FirstSym + (virtualKey - range.FirstKey);
    return NoSymbol;
}

unsigned int MaskOf(uint32_t modifiers)
{
    return ((modifiers & ModAlt) ? Mod1Mask : 0u) | ((modifiers & ModControl) ? ControlMask : 0u) |
           ((modifiers & ModShift) ? ShiftMask : 0u) | ((modifiers & ModWin) ? Mod4Mask : 0u);
}

// Caps Lock and Num Lock (Mod2 on the usual keymaps) must not stop the key.
constexpr unsigned int LockMasks[] = {0u, LockMask, Mod2Mask, LockMask | Mod2Mask};

Display* X11Display()
{
    if (gtk_init_check(nullptr, nullptr) == FALSE)
        return nullptr;
    GdkDisplay* display = gdk_display_get_default();
    return display != nullptr && GDK_IS_X11_DISPLAY(display) ? GDK_DISPLAY_XDISPLAY(display) : nullptr;
}

GdkFilterReturn OnRootEvent(GdkXEvent* native, GdkEvent*, gpointer)
{
    const XEvent* event = static_cast<const XEvent*>(native);
    if (event->type != KeyPress || ApplicationWindow == nullptr)
        return GDK_FILTER_CONTINUE;
    const unsigned int state = event->xkey.state & ~(LockMask | Mod2Mask);
    for (const HotKey& key : HotKeys)
    {
        if (key.Code != event->xkey.keycode || key.Mask != state)
            continue;
        if (xNativeWindow* window = ApplicationWindow->FindNativeWindow(key.Window))
            ApplicationWindow->Listener().OnHotKey(window, key.Id, key.KeyData);
        return GDK_FILTER_REMOVE;
    }
    return GDK_FILTER_CONTINUE;
}

// Grabs or ungrabs the key with every lock variant; false when the X server
// refused a grab (another program holds the key).
bool Grab(Display* display, const HotKey& key, bool grab)
{
    GdkDisplay* gdk = gdk_display_get_default();
    gdk_x11_display_error_trap_push(gdk);
    const Window root = DefaultRootWindow(display);
    for (unsigned int locks : LockMasks)
    {
        if (grab)
            XGrabKey(display, key.Code, key.Mask | locks, root, False, GrabModeAsync, GrabModeAsync);
        else
            XUngrabKey(display, key.Code, key.Mask | locks, root);
    }
    return gdk_x11_display_error_trap_pop(gdk) == 0;
}
} // namespace

void OpenBossKeyDialog()
{
    LogLine("No boss key dialog natively: the key comes from Setting.ini");
}

void ReadBossKeyFromDialog() {}

void HideBossKeyDialog() {}

int32_t RegisterWindowHotKey(void* window, int32_t id, uint32_t modifiers, uint32_t virtualKey)
{
    Display* display = X11Display();
    if (display == nullptr)
    {
        LogLine("No hot key without an X11 display (Wayland has no global keys for programs)");
        return 0;
    }
    const KeySym sym = KeySymOf(virtualKey);
    const KeyCode code = sym != NoSymbol ? XKeysymToKeycode(display, sym) : 0;
    if (window == nullptr || code == 0)
        return 0;
    for (const HotKey& key : HotKeys)
        if (key.Window == window && key.Id == id)
            return 0;
    const HotKey key{window, id, code, MaskOf(modifiers),
                     static_cast<intptr_t>((virtualKey << 16) | (modifiers & 0xFFFFu))};
    if (!Grab(display, key, true))
    {
        Grab(display, key, false);
        return 0;
    }
    if (!FilterInstalled)
        gdk_window_add_filter(nullptr, OnRootEvent, nullptr);
    FilterInstalled = true;
    HotKeys.push_back(key);
    return 1;
}

int32_t UnregisterWindowHotKey(void* window, int32_t id)
{
    Display* display = X11Display();
    for (auto it = HotKeys.begin(); it != HotKeys.end(); ++it)
    {
        if (it->Window != window || it->Id != id)
            continue;
        if (display != nullptr)
            Grab(display, *it, false);
        HotKeys.erase(it);
        return 1;
    }
    return 0;
}
