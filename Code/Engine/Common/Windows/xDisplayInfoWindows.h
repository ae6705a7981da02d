#pragma once

// The device-setup side of the display walk, open to the Windows tests.
#include <windows.h>

#include <cstdint>

// The resolution of the last present monitor of the setup class that has a
// hardware key; false when none has one or no key holds a readable EDID.
bool FindMonitorEdidResolution(int32_t& width, int32_t& height);

// Decodes the value named exactly "EDID" among the key's values; false when the
// key has none.
bool ReadEdidResolution(HKEY key, int32_t& width, int32_t& height);
