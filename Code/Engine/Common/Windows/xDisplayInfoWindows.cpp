#include "xDisplayInfo.h"

#include "Windows/xDisplayInfoWindows.h"
#include "Windows/xWin32Text.h"

#include <setupapi.h>

#include <cstring>
#include <cwchar>
#include <utility>

namespace
{
// The monitor device setup class (GUID_DEVCLASS_MONITOR in devguid.h), spelled
// out so no INITGUID translation unit is needed.
const GUID MonitorClassGuid = {0x4D36E96E, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

class RegistryKey
{
public:
    explicit RegistryKey(HKEY key) : Key(key) {}
    ~RegistryKey()
    {
        if (IsValid())
            RegCloseKey(Key);
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // SetupDiOpenDevRegKey reports failure as INVALID_HANDLE_VALUE, not null.
    bool IsValid() const { return Key != nullptr && Key != INVALID_HANDLE_VALUE; }
    HKEY Get() const { return Key; }

private:
    HKEY Key;
};

class DeviceInfoList
{
public:
    explicit DeviceInfoList(HDEVINFO list) : List(list) {}
    ~DeviceInfoList() { Destroy(); }
    DeviceInfoList(const DeviceInfoList&) = delete;
    DeviceInfoList& operator=(const DeviceInfoList&) = delete;

    bool IsValid() const { return List != INVALID_HANDLE_VALUE; }
    HDEVINFO Get() const { return List; }
    // Whether the list was destroyed; the caller's result depends on it.
    bool Destroy()
    {
        if (!IsValid())
            return false;
        const bool destroyed = SetupDiDestroyDeviceInfoList(List) != FALSE;
        List = INVALID_HANDLE_VALUE;
        return destroyed;
    }

private:
    HDEVINFO List;
};

DISPLAY_DEVICEW EmptyDisplayDevice()
{
    DISPLAY_DEVICEW device;
    std::memset(&device, 0, sizeof(device));
    device.cb = sizeof(device);
    return device;
}
} // namespace

bool ReadEdidResolution(HKEY key, int32_t& width, int32_t& height)
{
    for (DWORD index = 0;; ++index)
    {
        wchar_t name[512];
        BYTE data[1024];
        // Both sizes are in and out parameters: a short value read earlier must
        // not shrink the room for the next one.
        DWORD nameLength = 512;
        DWORD dataSize = sizeof(data);
        const LONG status = RegEnumValueW(key, index, name, &nameLength, nullptr, nullptr, data, &dataSize);
        const RegistryWalkStep step = NextRegistryWalkStep(static_cast<uint32_t>(status));
        if (step == RegistryWalkStep::Stop)
            return false;
        if (step == RegistryWalkStep::Skip)
            continue;
        // Value names compare without case elsewhere in the registry; only this exact one is the block.
        if (std::wcscmp(name, L"EDID") == 0)
            return DecodeEdidResolution(data, dataSize, width, height);
    }
}

bool FindMonitorEdidResolution(int32_t& width, int32_t& height)
{
    DeviceInfoList devices(SetupDiGetClassDevsExW(&MonitorClassGuid, nullptr, nullptr, DIGCF_PRESENT, nullptr,
                                                  nullptr, nullptr));
    if (!devices.IsValid())
        return false;
    bool found = false;
    for (DWORD index = 0;; ++index)
    {
        SP_DEVINFO_DATA device;
        std::memset(&device, 0, sizeof(device));
        device.cbSize = sizeof(device);
        const uint32_t status = SetupDiEnumDeviceInfo(devices.Get(), index, &device) ? 0u : GetLastError();
        const RegistryWalkStep step = NextRegistryWalkStep(status);
        if (step == RegistryWalkStep::Stop)
            break;
        if (step == RegistryWalkStep::Skip)
            continue;
        RegistryKey key(
            SetupDiOpenDevRegKey(devices.Get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ));
        // The last monitor with a key decides, as every listed monitor gets the same answer.
        if (key.IsValid())
            found = ReadEdidResolution(key.Get(), width, height);
    }
    return devices.Destroy() && found;
}

void ReadDisplayInfo(xDisplayInfo& info)
{
    info.Reset();
    info.ScreenWidth = GetSystemMetrics(SM_CXSCREEN);
    info.ScreenHeight = GetSystemMetrics(SM_CYSCREEN);

    RECT work = {};
    if (SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0))
    {
        info.WorkLeft = work.left;
        info.WorkTop = work.top;
        info.WorkRight = work.right;
        info.WorkBottom = work.bottom;
    }

    info.VirtualLeft = GetSystemMetrics(SM_XVIRTUALSCREEN);
    info.VirtualTop = GetSystemMetrics(SM_YVIRTUALSCREEN);
    info.VirtualRight = info.VirtualLeft + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    info.VirtualBottom = info.VirtualTop + GetSystemMetrics(SM_CYVIRTUALSCREEN);

    std::vector<DisplayMonitorCandidate> candidates;
    DISPLAY_DEVICEW adapter = EmptyDisplayDevice();
    for (DWORD adapterIndex = 0; EnumDisplayDevicesW(nullptr, adapterIndex, &adapter, 0); ++adapterIndex)
    {
        const bool onDesktop = (adapter.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) != 0;
        // Monitors of an adapter off the desktop are never listed, so they need no walk.
        DISPLAY_DEVICEW monitor = EmptyDisplayDevice();
        for (DWORD monitorIndex = 0;
             onDesktop && EnumDisplayDevicesW(adapter.DeviceName, monitorIndex, &monitor, 0); ++monitorIndex)
        {
            DisplayMonitorCandidate candidate;
            candidate.DeviceId = FromWinText(monitor.DeviceID);
            candidate.AdapterOnDesktop = onDesktop;
            candidate.AdapterPrimary = (adapter.StateFlags & DISPLAY_DEVICE_PRIMARY_DEVICE) != 0;
            candidate.MonitorActive = (monitor.StateFlags & DISPLAY_DEVICE_ACTIVE) != 0;
            candidate.MonitorMirroring = (monitor.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER) != 0;
            candidates.push_back(std::move(candidate));
            monitor = EmptyDisplayDevice();
        }
        adapter = EmptyDisplayDevice();
    }
    info.Monitors = ListMonitors(candidates, FindMonitorEdidResolution);
}
