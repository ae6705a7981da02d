#include "xTrayIcon.h"

#include "xAppWindow.h"
#include "xLogLine.h"
#include "xNativeWindow.h"
#include "xTextConversion.h"

#include <gtk/gtk.h>
#include <glib/gstdio.h>
#include <libayatana-appindicator/app-indicator.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <string>

// The icon is a StatusNotifier item (libayatana-appindicator) on the session
// bus; where no StatusNotifier host runs, the library falls back to a
// GtkStatusIcon on X11 by itself. Neither reliably reports a left click, so
// the menu's first entry sends the owning window what a left click sends under
// Windows (the callback message with a left-button press), and a middle click
// on the icon does the same. The balloon is a desktop notification
// (org.freedesktop.Notifications), sent without waiting for the answer.

extern "C" const uint8_t xProgramIconBegin[];
extern "C" const uint8_t xProgramIconEnd[];

namespace
{
// The program's one icon resource (the Windows executable's 128).
constexpr int32_t ProgramIconId = 128;
// The mouse event of a left-button press in the callback message's lParam.
constexpr intptr_t LeftButtonDown = 0x0201;

struct TrayState
{
    AppIndicator* Indicator = nullptr;
    // Owned by the indicator.
    GtkWidget* Menu = nullptr;
    xAppWindow* App = nullptr;
    void* WindowHandle = nullptr;
    uint32_t Message = 0;
    uint32_t Id = 0;
    // The icon as a picture file, in a folder of its own; empty without one.
    xString IconFolder;
    xString IconPath;
};

// By icon; the header keeps no room for the toolkit's objects.
std::map<const xTrayIcon*, std::unique_ptr<TrayState>> States;

bool GtkReady()
{
    static const bool ready = gtk_init_check(nullptr, nullptr) != FALSE;
    return ready;
}

// The largest picture of the program's .ico as a PNG in a new temporary
// folder; false when the icon cannot be decoded or written.
bool WriteIconPicture(TrayState& state)
{
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("ico", nullptr);
    if (loader == nullptr)
        return false;
    const bool loaded =
        gdk_pixbuf_loader_write(loader, xProgramIconBegin,
                                static_cast<gsize>(xProgramIconEnd - xProgramIconBegin), nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr);
    GdkPixbuf* picture = loaded ? gdk_pixbuf_loader_get_pixbuf(loader) : nullptr;
    gchar* folder = picture != nullptr ? g_dir_make_tmp("launcher-tray-XXXXXX", nullptr) : nullptr;
    bool written = false;
    if (folder != nullptr)
    {
        gchar* path = g_build_filename(folder, "icon.png", nullptr);
        written = gdk_pixbuf_save(picture, path, "png", nullptr, nullptr) != FALSE;
        state.IconFolder = folder;
        state.IconPath = written ? xString(path) : xString();
        g_free(path);
        g_free(folder);
    }
    g_object_unref(loader);
    return written;
}

void RemoveIconPicture(const TrayState& state)
{
    if (!state.IconPath.IsEmpty())
        g_remove(state.IconPath.c_str());
    if (!state.IconFolder.IsEmpty())
        g_rmdir(state.IconFolder.c_str());
}

// What a left click on the icon sends its window under Windows.
void OnToggleActivated(GtkMenuItem*, gpointer data)
{
    const TrayState& state = *static_cast<const TrayState*>(data);
    if (xNativeWindow* window = state.App->FindNativeWindow(state.WindowHandle))
        state.App->Listener().OnUnhandledMessage(window, state.Message, state.Id, LeftButtonDown);
}

GtkWidget* BuildMenu(TrayState& state, const xWString& tip)
{
    GtkWidget* menu = gtk_menu_new();
    GtkWidget* toggle = gtk_menu_item_new_with_label(WideToUtf8(tip).c_str());
    g_signal_connect(toggle, "activate", G_CALLBACK(OnToggleActivated), &state);
    gtk_menu_shell_append(GTK_MENU_SHELL(menu), toggle);
    gtk_widget_show_all(menu);
    return menu;
}

void OnNotified(GObject* source, GAsyncResult* result, gpointer)
{
    GError* error = nullptr;
    GVariant* reply = g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
    if (reply != nullptr)
    {
        g_variant_unref(reply);
        return;
    }
    LogLine("The notification was not shown: %s", error != nullptr ? error->message : "no answer");
    g_clear_error(&error);
}

void DestroyState(TrayState& state)
{
    // The indicator holds the menu and lets it go with itself.
    if (state.Indicator != nullptr)
    {
        app_indicator_set_status(state.Indicator, APP_INDICATOR_STATUS_PASSIVE);
        g_object_unref(state.Indicator);
    }
    RemoveIconPicture(state);
}
} // namespace

xTrayIcon::~xTrayIcon()
{
    Remove();
}

bool xTrayIcon::Add(xNativeWindow& window, uint32_t callbackMessage, int32_t iconId, const xWString& tip)
{
    if (window.Handle() == nullptr || IsShown() || !GtkReady())
        return false;
    auto state = std::make_unique<TrayState>();
    state->App = &window.Owner();
    state->WindowHandle = window.Handle();
    state->Message = callbackMessage;
    // Any identifier but 0, which marks "not shown" here.
    state->Id = static_cast<uint32_t>(std::rand()) + 1;
    if (iconId != ProgramIconId || !WriteIconPicture(*state))
        LogLine("The tray icon has no picture of its own (icon %d)", iconId);
    const xString itemId = "launcher-tray-" + xString(std::to_string(state->Id).c_str());
    const char* icon = state->IconPath.IsEmpty() ? "application-x-executable" : state->IconPath.c_str();
    state->Indicator = app_indicator_new(itemId.c_str(), icon, APP_INDICATOR_CATEGORY_APPLICATION_STATUS);
    state->Menu = BuildMenu(*state, tip);
    app_indicator_set_title(state->Indicator, WideToUtf8(tip).c_str());
    app_indicator_set_menu(state->Indicator, GTK_MENU(state->Menu));
    GList* items = gtk_container_get_children(GTK_CONTAINER(state->Menu));
    app_indicator_set_secondary_activate_target(state->Indicator, GTK_WIDGET(items->data));
    g_list_free(items);
    app_indicator_set_status(state->Indicator, APP_INDICATOR_STATUS_ACTIVE);
    WindowHandle = window.Handle();
    Id = state->Id;
    CallbackMessage = callbackMessage;
    IconId = iconId;
    Tip = tip;
    States[this] = std::move(state);
    return true;
}

void xTrayIcon::ShowBalloon(const xWString& title, const xWString& text)
{
    auto found = States.find(this);
    if (!IsShown() || found == States.end())
        return;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
    if (bus == nullptr)
    {
        LogLine("The notification was not shown: no session bus");
        return;
    }
    const TrayState& state = *found->second;
    // app name, replaces id, icon, summary, body, actions, hints, time-out (the server's own).
    GVariant* parameters =
        g_variant_new("(susssasa{sv}i)", WideToUtf8(Tip).c_str(), 0u, state.IconPath.c_str(),
                      WideToUtf8(title).c_str(), WideToUtf8(text).c_str(), nullptr, nullptr, -1);
    g_dbus_connection_call(bus, "org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                           "org.freedesktop.Notifications", "Notify", parameters, G_VARIANT_TYPE("(u)"),
                           G_DBUS_CALL_FLAGS_NONE, 5000, nullptr, OnNotified, nullptr);
    g_object_unref(bus);
}

void xTrayIcon::Remove()
{
    if (!IsShown())
        return;
    auto found = States.find(this);
    if (found != States.end())
    {
        DestroyState(*found->second);
        States.erase(found);
    }
    Id = 0;
}
