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

void AddModelessDialog(void*) {}

void TerminateThisProcess(int exitCode)
{
    _exit(exitCode);
}
