#include "xProcessSetup.h"

#include <gtk/gtk.h>

#include <unistd.h>

// Linux has no per-process DPI switch and no COM.
void EnableDpiAwareness() {}

void InitialiseComForThisThread() {}

// The windows' pending events, once GTK has a display (before that there are none).
void DrainThreadMessages()
{
    if (gdk_display_get_default() == nullptr)
        return;
    while (gtk_events_pending())
        gtk_main_iteration_do(FALSE);
}

// GLib's main loop wakes for the windows' events, WebKit's messages and its
// own timers; the timeout source ends the wait when nothing comes. Without a
// display there are no windows to wait for: the loop keeps its pace.
bool WaitForThreadMessages(std::chrono::milliseconds longest)
{
    if (gdk_display_get_default() == nullptr)
        return false;
    GMainContext* context = g_main_context_default();
    GSource* timeout = g_timeout_source_new(static_cast<guint>(longest.count()));
    g_source_set_callback(
        timeout, [](gpointer) -> gboolean { return G_SOURCE_REMOVE; }, nullptr, nullptr);
    g_source_attach(timeout, context);
    g_main_context_iteration(context, TRUE);
    g_source_destroy(timeout);
    g_source_unref(timeout);
    return true;
}

void AddModelessDialog(void*) {}

void TerminateThisProcess(int exitCode)
{
    _exit(exitCode);
}
