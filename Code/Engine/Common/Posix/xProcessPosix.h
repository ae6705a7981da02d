#pragma once

#include "xProcess.h"

#include <string>

// StartProcess with one environment variable set (or replaced) for the child
// alone, in the caller's folder.
xProcessHandle StartProcessWithVariable(const xWString& executablePath, const xWString& arguments,
                                        const std::string& name, const std::string& value);
