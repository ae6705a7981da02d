#pragma once

#include "xString.h"

// Opens a web page in the user's default browser, maximised where the system
// lets the caller ask for it.
void OpenWebPage(const xWString& url);
