#pragma once

#include <cstdint>

// Questions about the running Windows that the hardware detection asks. The
// functions that not every Windows has are looked up at run time.

// The true kernel version from RtlGetVersion (ntdll.dll), which, unlike
// GetVersionExW, is not capped at 6.2 for programs without a compatibility
// manifest. False when the function is missing or fails.
bool QueryKernelVersion(uint32_t& major, uint32_t& minor);

// The kernel version is at least major.minor; false when it cannot be read.
bool IsWindowsVersionOrGreater(uint32_t major, uint32_t minor);

// The product type is not workstation (a server or a domain controller).
bool IsServerSystem();

// The system (not this process) is 64-bit; worked out once and cached.
bool Is64BitWindows();

// GetProductInfo (kernel32.dll) for the given version with service pack 0.0;
// false when the function is missing. `productType` is 0 when the call fails.
bool QueryProductType(uint32_t major, uint32_t minor, uint32_t& productType);
