#include "xMessageBox.h"

#include "xTextConversion.h"

#include <gtk/gtk.h>

#include <cstdio>

// A GTK message dialog, modal in a loop of its own, centred on the screen and
// kept above the other windows. Without a display (the sanitizer builds run
// windowless) the notice goes to the terminal instead.

namespace
{
bool HasDisplay()
{
    static const bool ready = gtk_init_check(nullptr, nullptr) != FALSE;
    return ready;
}

void PrintNotice(const xWString& text, const xWString& caption, const char* outcome)
{
    const xString line = WideToUtf8(caption) + ": " + WideToUtf8(text) + outcome + "\n";
    fputs(line.c_str(), stderr);
    fflush(stderr);
}

// The dialog's answer; the buttons are labelled in GTK's own language, as the
// system's default language labels them under Windows.
gint RunDialog(const xWString& text, const xWString& caption, GtkMessageType type, bool withCancel)
{
    GtkWidget* dialog = gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, type, GTK_BUTTONS_NONE, "%s",
                                               WideToUtf8(text).c_str());
    GtkWindow* window = GTK_WINDOW(dialog);
    gtk_window_set_title(window, WideToUtf8(caption).c_str());
    gtk_window_set_position(window, GTK_WIN_POS_CENTER);
    gtk_window_set_keep_above(window, TRUE);
    gtk_dialog_add_button(GTK_DIALOG(dialog), g_dgettext("gtk30", "_OK"), GTK_RESPONSE_OK);
    if (withCancel)
        gtk_dialog_add_button(GTK_DIALOG(dialog), g_dgettext("gtk30", "_Cancel"), GTK_RESPONSE_CANCEL);
    // Cancel is the default of the question, as its second button is under Windows.
    gtk_dialog_set_default_response(GTK_DIALOG(dialog), withCancel ? GTK_RESPONSE_CANCEL : GTK_RESPONSE_OK);
    const gint response = gtk_dialog_run(GTK_DIALOG(dialog));
    gtk_widget_destroy(dialog);
    // Let the window go from the screen before the caller goes on.
    while (gtk_events_pending())
        gtk_main_iteration();
    return response;
}
} // namespace

bool ShowErrorMessageBox(const xWString& text, const xWString& caption)
{
    if (!HasDisplay())
    {
        // The caller goes on as after an OK.
        PrintNotice(text, caption, "");
        return true;
    }
    // Closing the notice's window counts as its OK, as it does under Windows.
    const gint response = RunDialog(text, caption, GTK_MESSAGE_ERROR, false);
    return response == GTK_RESPONSE_OK || response == GTK_RESPONSE_DELETE_EVENT;
}

bool ShowConfirmMessageBox(const xWString& text, const xWString& caption)
{
    if (!HasDisplay())
    {
        // Nobody can answer here: the question counts as cancelled.
        PrintNotice(text, caption, " (cancelled)");
        return false;
    }
    return RunDialog(text, caption, GTK_MESSAGE_QUESTION, true) == GTK_RESPONSE_OK;
}
