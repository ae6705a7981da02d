#include "BossKey.h"

#include "LauncherMain.h"

#include "xAppWindow.h"
#include "xLogLine.h"
#include "Posix/xVirtualKeysGtk.h"

#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>

#include <vector>

// The hot key is a passive grab of its key on the X11 root window: the X server
// sends the press to this program whichever window has the focus, and a GDK
// event filter hands it to the window's listener as OnHotKey, as WM_HOTKEY
// reaches it under Windows. Wayland has no such grab: without an X11 display
// nothing is registered. The dialog is a small GTK window with a field that
// takes the pressed key as the hot-key control does.

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
// HOTKEYF_ flags of the hot-key control's value.
constexpr uint16_t HotKeyShift = 0x01;
constexpr uint16_t HotKeyControl = 0x02;
constexpr uint16_t HotKeyAlt = 0x04;

// The dialog, made at the first opening and kept, hidden, for the rest of the
// process, as the Windows one is. Value is its hot-key field's key in the
// hot-key control's format.
struct BossKeyDialog
{
    GtkWidget* Window = nullptr;
    GtkWidget* KeyField = nullptr;
    GtkWidget* EnableBox = nullptr;
    uint16_t Value = 0;
} Dialog;

// "Ctrl+Shift+F5" in the desktop's own words.
xString KeyLabel(uint16_t value)
{
    const guint keyval = KeyvalOfVirtualKey(value & 0xFFu);
    const unsigned flags = value >> 8;
    const GdkModifierType modifiers = static_cast<GdkModifierType>(
        ((flags & HotKeyShift) ? GDK_SHIFT_MASK : 0) | ((flags & HotKeyControl) ? GDK_CONTROL_MASK : 0) |
        ((flags & HotKeyAlt) ? GDK_MOD1_MASK : 0));
    gchar* label = keyval != 0 ? gtk_accelerator_get_label(keyval, modifiers) : g_strdup("");
    const xString text(label);
    g_free(label);
    return text;
}

// The hot-key field takes the pressed key with its modifiers, as the hot-key
// control does; Enter and Escape alone close the dialog as OK and Cancel do.
gboolean OnFieldKey(GtkWidget*, GdkEventKey* event, gpointer)
{
    const guint state = event->state & (GDK_SHIFT_MASK | GDK_CONTROL_MASK | GDK_MOD1_MASK);
    if (state == 0 && (event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_Escape))
    {
        ApplyBossKey();
        return TRUE;
    }
    const uint32_t key = VirtualKeyOfKeyval(event->keyval);
    if (key == 0 || event->is_modifier)
        return TRUE;
    const uint16_t flags = ((state & GDK_SHIFT_MASK) ? HotKeyShift : 0) |
                           ((state & GDK_CONTROL_MASK) ? HotKeyControl : 0) |
                           ((state & GDK_MOD1_MASK) ? HotKeyAlt : 0);
    Dialog.Value = static_cast<uint16_t>(flags << 8 | key);
    gtk_entry_set_text(GTK_ENTRY(Dialog.KeyField), KeyLabel(Dialog.Value).c_str());
    return TRUE;
}

gboolean OnDialogKey(GtkWidget*, GdkEventKey* event, gpointer)
{
    if (event->keyval != GDK_KEY_Escape)
        return FALSE;
    ApplyBossKey();
    return TRUE;
}

void OnEnableToggled(GtkToggleButton* box, gpointer)
{
    BossKeyEnabled = gtk_toggle_button_get_active(box) != FALSE;
}

void OnOk(GtkButton*, gpointer)
{
    ApplyBossKey();
}

gboolean OnDialogClose(GtkWidget*, GdkEvent*, gpointer)
{
    ApplyBossKey();
    return TRUE;
}

// The Windows dialog's layout: the prompt, the hot-key field and OK on one row,
// the check box under them; no caption, centred, above the game.
void BuildDialog()
{
    Dialog.Window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* window = GTK_WINDOW(Dialog.Window);
    gtk_window_set_title(window, "老板键");
    gtk_window_set_decorated(window, FALSE);
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(window, TRUE);
    gtk_container_set_border_width(GTK_CONTAINER(window), 14);
    GtkWidget* grid = gtk_grid_new();
    gtk_grid_set_row_spacing(GTK_GRID(grid), 10);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
    Dialog.KeyField = gtk_entry_new();
    gtk_editable_set_editable(GTK_EDITABLE(Dialog.KeyField), FALSE);
    Dialog.EnableBox = gtk_check_button_new_with_label("启用老板键");
    GtkWidget* ok = gtk_button_new_with_label("确定");
    gtk_grid_attach(GTK_GRID(grid), gtk_label_new("请输入老板键: "), 0, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), Dialog.KeyField, 1, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), ok, 2, 0, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), Dialog.EnableBox, 1, 1, 1, 1);
    gtk_container_add(GTK_CONTAINER(window), grid);
    g_signal_connect(Dialog.KeyField, "key-press-event", G_CALLBACK(OnFieldKey), nullptr);
    g_signal_connect(Dialog.Window, "key-press-event", G_CALLBACK(OnDialogKey), nullptr);
    g_signal_connect(Dialog.Window, "delete-event", G_CALLBACK(OnDialogClose), nullptr);
    g_signal_connect(Dialog.EnableBox, "toggled", G_CALLBACK(OnEnableToggled), nullptr);
    g_signal_connect(ok, "clicked", G_CALLBACK(OnOk), nullptr);
}
} // namespace

void OpenBossKeyDialog()
{
    if (Dialog.Window != nullptr)
    {
        gtk_widget_show(Dialog.Window);
        return;
    }
    if (gtk_init_check(nullptr, nullptr) == FALSE)
    {
        LogLine("The boss key dialog needs a display");
        return;
    }
    if (BossKeyValue == 0)
        BossKeyValue = DefaultBossKey;
    BuildDialog();
    Dialog.Value = BossKeyValue;
    gtk_entry_set_text(GTK_ENTRY(Dialog.KeyField), KeyLabel(Dialog.Value).c_str());
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(Dialog.EnableBox), BossKeyEnabled);
    gtk_widget_show_all(Dialog.Window);
    gtk_widget_grab_focus(Dialog.KeyField);
}

void ReadBossKeyFromDialog()
{
    if (Dialog.KeyField != nullptr)
        BossKeyValue = Dialog.Value;
}

void HideBossKeyDialog()
{
    if (Dialog.Window != nullptr)
        gtk_widget_hide(Dialog.Window);
}

int32_t RegisterWindowHotKey(void* window, int32_t id, uint32_t modifiers, uint32_t virtualKey)
{
    Display* display = X11Display();
    if (display == nullptr)
    {
        LogLine("No hot key without an X11 display (Wayland has no global keys for programs)");
        return 0;
    }
    const guint keyval = KeyvalOfVirtualKey(virtualKey);
    const KeyCode code = keyval != 0 ? XKeysymToKeycode(display, keyval) : 0;
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
