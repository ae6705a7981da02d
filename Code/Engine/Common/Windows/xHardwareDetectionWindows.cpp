#include "xHardwareDetection.h"

#include "xWin32Text.h"
#include "xWindowsVersion.h"

#include <windows.h>

namespace
{
DWORD WINAPI DetectionThread(void* info)
{
    RunHardwareDetection(static_cast<xHardwareInfo*>(info));
    return 0;
}
} // namespace

bool StartHardwareDetection(xHardwareInfo* info)
{
    HANDLE thread =
        CreateThread(nullptr, 0, DetectionThread, info, STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
    if (thread == nullptr)
        return false;
    CloseHandle(thread);
    return true;
}

xWString DetectSystemFamily()
{
    return u"Windows";
}

xWindowsVersionName DetectSystemVersion()
{
    SYSTEM_INFO system = {};
    if (Is64BitWindows())
        GetNativeSystemInfo(&system);
    else
        GetSystemInfo(&system);

    xWindowsVersionFacts facts;
    OSVERSIONINFOEXW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (!GetVersionExW(reinterpret_cast<OSVERSIONINFOW*>(&version)))
        return NameWindowsVersion(facts);
    facts.VersionRead = true;
    facts.Major = version.dwMajorVersion;
    facts.Minor = version.dwMinorVersion;
    facts.ProductType = version.wProductType;
    facts.SuiteMask = version.wSuiteMask;
    facts.ServicePack = FromWinText(version.szCSDVersion);
    facts.ServerR2 = GetSystemMetrics(SM_SERVERR2) != 0;
    facts.X64Processor = system.wProcessorArchitecture == PROCESSOR_ARCHITECTURE_AMD64;
    facts.KernelVersionKnown = QueryKernelVersion(facts.KernelMajor, facts.KernelMinor);
    facts.ServerSystem = IsServerSystem();
    facts.ProductInfoAvailable = QueryProductType(facts.Major, facts.Minor, facts.ProductInfoType);
    return NameWindowsVersion(facts);
}

bool DetectSystem64Bit()
{
    return Is64BitWindows();
}

xWString DetectSystemLanguage()
{
    const LCID locale = GetSystemDefaultLCID();
    wchar_t language[9] = {};
    wchar_t country[9] = {};
    if (GetLocaleInfoW(locale, LOCALE_SISO639LANGNAME, language, 9) == 0 ||
        GetLocaleInfoW(locale, LOCALE_SISO3166CTRYNAME, country, 9) == 0)
        return {};
    return JoinLanguageAndCountry(FromWinText(language), FromWinText(country));
}
