#pragma once

#include "xString.h"

#include <vector>

// The executable file name (no folder) of every running process that this one
// may look at, one entry per process, this process included. Windows: the
// Toolhelp snapshot's names; Linux: the file the process's exe link points to.
// Empty when the system gives no list.
std::vector<xWString> ListProcessExecutableNames();
