#include "xWindowsVersion.h"

#include "xHardwareDetection.h"

#include <windows.h>

namespace
{
// GetProcAddress hands back a generic function pointer; going through void(*)()
// is the cast that -Wcast-function-type accepts.
template <typename Function> Function LookUp(const wchar_t* module, const char* name)
{
    HMODULE handle = GetModuleHandleW(module);
    if (handle == nullptr)
        return nullptr;
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(handle, name)));
}

using RtlGetVersionFunction = LONG(WINAPI*)(OSVERSIONINFOW*);
using GetSystemWow64DirectoryAFunction = UINT(WINAPI*)(char*, UINT);
using GetProductInfoFunction = BOOL(WINAPI*)(DWORD, DWORD, DWORD, DWORD, DWORD*);
} // namespace

bool QueryKernelVersion(uint32_t& major, uint32_t& minor)
{
    // Looked up once; the initialisation of a function-local static is thread-safe.
    static const RtlGetVersionFunction rtlGetVersion =
        LookUp<RtlGetVersionFunction>(L"ntdll.dll", "RtlGetVersion");
    if (rtlGetVersion == nullptr)
        return false;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (rtlGetVersion(&version) != 0)
        return false;
    major = version.dwMajorVersion;
    minor = version.dwMinorVersion;
    return true;
}

bool IsWindowsVersionOrGreater(uint32_t major, uint32_t minor)
{
    xWindowsVersionFacts facts;
    facts.KernelVersionKnown = QueryKernelVersion(facts.KernelMajor, facts.KernelMinor);
    return KernelVersionAtLeast(facts, major, minor);
}

bool IsServerSystem()
{
    OSVERSIONINFOEXW wanted = {};
    wanted.dwOSVersionInfoSize = sizeof(wanted);
    wanted.wProductType = VER_NT_WORKSTATION;
    const DWORDLONG condition = VerSetConditionMask(0, VER_PRODUCT_TYPE, VER_EQUAL);
    return !VerifyVersionInfoW(&wanted, VER_PRODUCT_TYPE, condition);
}

bool Is64BitWindows()
{
    static const bool is64Bit = []
    {
        xWow64Probe probe;
        const auto getWow64Directory =
            LookUp<GetSystemWow64DirectoryAFunction>(L"kernel32", "GetSystemWow64DirectoryA");
        probe.FunctionFound = getWow64Directory != nullptr;
        if (probe.FunctionFound)
        {
            char folder[MAX_PATH];
            probe.CallSucceeded = getWow64Directory(folder, MAX_PATH) != 0;
            probe.Error = probe.CallSucceeded ? 0 : GetLastError();
        }
        return Is64BitFromWow64Probe(probe);
    }();
    return is64Bit;
}

bool QueryProductType(uint32_t major, uint32_t minor, uint32_t& productType)
{
    static const GetProductInfoFunction getProductInfo =
        LookUp<GetProductInfoFunction>(L"kernel32.dll", "GetProductInfo");
    productType = 0;
    if (getProductInfo == nullptr)
        return false;
    DWORD type = 0;
    if (getProductInfo(major, minor, 0, 0, &type))
        productType = type;
    return true;
}
