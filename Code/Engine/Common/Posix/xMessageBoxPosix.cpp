#include "xMessageBox.h"

#include <cstdio>

bool ShowErrorMessageBox(const xWString& text, const xWString& caption)
{
    // No dialog toolkit here: the notice goes to the terminal, and the caller
    // goes on as after an OK.
    const xString line = xString(caption) + ": " + xString(text) + "\n";
    fputs(line.c_str(), stderr);
    fflush(stderr);
    return true;
}

bool ShowConfirmMessageBox(const xWString& text, const xWString& caption)
{
    // Nobody can answer here: the question counts as cancelled.
    const xString line = xString(caption) + ": " + xString(text) + " (cancelled)\n";
    fputs(line.c_str(), stderr);
    fflush(stderr);
    return false;
}
