#pragma once

#include "xHardwareInfo.h"

#include <cstdint>

// Fills an xHardwareInfo on a thread of its own. Each step is timed and logged
// ("HardwareDetect", "GetWindowsInfo", "GetOSLang"); the done flag is set last.

// Starts the detection on a new operating-system thread with the default stack;
// the thread is not kept. False when no thread could be started. `info` must
// outlive the thread (the engine context's record lives as long as the process).
bool StartHardwareDetection(xHardwareInfo* info);

// The detection itself, as the thread runs it; does nothing for a null record.
void RunHardwareDetection(xHardwareInfo* info);

// What the Windows version naming reads from the system, as plain values.
struct xWindowsVersionFacts
{
    // GetVersionExW with the extended record; when it fails nothing is named.
    bool VersionRead = false;
    uint32_t Major = 0;
    uint32_t Minor = 0;
    uint8_t ProductType = 0; // VER_NT_WORKSTATION, _DOMAIN_CONTROLLER or _SERVER
    uint16_t SuiteMask = 0;
    xWString ServicePack;
    // GetSystemMetrics(SM_SERVERR2) is non-zero.
    bool ServerR2 = false;
    // The processor architecture is PROCESSOR_ARCHITECTURE_AMD64.
    bool X64Processor = false;
    // The true kernel version (RtlGetVersion), which GetVersionExW hides from
    // programs without a compatibility manifest; unknown when the call is missing.
    bool KernelVersionKnown = false;
    uint32_t KernelMajor = 0;
    uint32_t KernelMinor = 0;
    // VerifyVersionInfoW says the product type is not workstation.
    bool ServerSystem = false;
    // GetProductInfo exists in kernel32; ProductInfoType is its answer (0 when it failed).
    bool ProductInfoAvailable = false;
    uint32_t ProductInfoType = 0;
};

struct xWindowsVersionName
{
    xWString Name = u"Windows (unknown version)";
    xWString Edition;
};

xWindowsVersionName NameWindowsVersion(const xWindowsVersionFacts& facts);

// True when the kernel version is known and at least major.minor.
bool KernelVersionAtLeast(const xWindowsVersionFacts& facts, uint32_t major, uint32_t minor);

// The edition for a GetProductInfo product type; empty for types without one.
xWString EditionForProductType(uint32_t productType);

// The outcome of asking GetSystemWow64DirectoryA: whether kernel32 has it, and
// whether the call succeeded (with the last error when it did not).
struct xWow64Probe
{
    bool FunctionFound = false;
    bool CallSucceeded = false;
    uint32_t Error = 0;
};

// Only 64-bit Windows has a WOW64 folder; a system whose kernel32 has the
// function but not the implementation says so with ERROR_CALL_NOT_IMPLEMENTED.
bool Is64BitFromWow64Probe(const xWow64Probe& probe);

// "language-country"; empty when either part is.
xWString JoinLanguageAndCountry(const xWString& language, const xWString& country);

// The language of a POSIX locale name such as "en_US.UTF-8" or "de_AT@euro" as
// "en-US"; empty for names without a country ("C", "POSIX", "C.UTF-8").
xWString LanguageFromLocaleName(const xString& localeName);

// 64 for machine names of 64-bit architectures (uname: "x86_64", "aarch64",
// "ppc64le", "s390x", ...), else 32.
int BitnessForMachine(const xString& machine);

// The value of `key` in an os-release text (KEY=value lines, values optionally
// quoted with " or ', backslash escapes inside double quotes); empty when absent.
xString OsReleaseValue(const xString& text, const char* key);

// The system's answers behind the detection, one implementation per platform.
xWString DetectSystemFamily();
xWindowsVersionName DetectSystemVersion();
bool DetectSystem64Bit();
xWString DetectSystemLanguage();
