#pragma once

#include "xString.h"

// A blocking error notice with an OK button only and no owner window. True when
// the user confirmed it; false when it could not be shown at all.
bool ShowErrorMessageBox(const xWString& text, const xWString& caption);

// A question with OK and Cancel, Cancel the default, no owner window. True only
// when the user chose OK.
bool ShowConfirmMessageBox(const xWString& text, const xWString& caption);

// The shape of ShowErrorMessageBox, so that callers can take another reporter
// (a test records the notice instead of waiting for a click).
using xMessageBoxFunction = bool (*)(const xWString& text, const xWString& caption);
