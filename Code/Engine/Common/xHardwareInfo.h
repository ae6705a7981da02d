#pragma once

#include "xString.h"

#include <atomic>
#include <cstdint>

// What the detection thread finds out about the system. The thread writes the
// texts and then sets DetectionDone (release); a reader on another thread tests
// DetectionDone (acquire) before it reads anything else.
class xHardwareInfo
{
public:
    // "Windows" on Windows; the kernel's name (uname) elsewhere.
    xWString Family;
    // A readable name of the system, e.g. "Windows 10" or "Debian GNU/Linux 12 (bookworm)".
    xWString VersionName = u"Windows (unknown version)";
    // The edition ("Professional"), the service-pack text, or on Linux the kernel release.
    xWString Edition;
    // 64 or 32: the width of the operating system, not of this process.
    int Bitness = 0;
    // "language-COUNTRY" of the system locale ("en-US"); empty when either part is unknown.
    xWString SystemLanguage;
    std::atomic<uint8_t> DetectionDone{0};
};
