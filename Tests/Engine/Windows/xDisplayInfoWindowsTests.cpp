#include "xDisplayInfo.h"

#include "Windows/xDisplayInfoWindows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

TEST(xDisplayInfo, ReadMatchesTheSystemMetricsAndResetClearsIt)
{
    xDisplayInfo info;
    ReadDisplayInfo(info);
    const auto screen = std::make_pair(info.ScreenWidth, info.ScreenHeight);
    EXPECT_EQ(screen, std::make_pair(GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)));
    // The primary display's current mode, as the display settings report it.
    DEVMODEW mode = {};
    mode.dmSize = sizeof(mode);
    ASSERT_TRUE(EnumDisplaySettingsW(nullptr, ENUM_CURRENT_SETTINGS, &mode));
    EXPECT_EQ(screen, std::make_pair(int32_t(mode.dmPelsWidth), int32_t(mode.dmPelsHeight)));

    // A work area that is not empty, inside the screen; a virtual screen that holds the screen.
    EXPECT_TRUE(0 <= info.WorkLeft && info.WorkLeft < info.WorkRight && info.WorkRight <= info.ScreenWidth);
    EXPECT_TRUE(0 <= info.WorkTop && info.WorkTop < info.WorkBottom && info.WorkBottom <= info.ScreenHeight);
    EXPECT_TRUE(info.VirtualLeft <= 0 && info.VirtualRight >= info.ScreenWidth);
    EXPECT_TRUE(info.VirtualTop <= 0 && info.VirtualBottom >= info.ScreenHeight);

    info.Reset();
    EXPECT_EQ(info.ScreenWidth | info.ScreenHeight, 0);
    EXPECT_EQ(info.WorkLeft | info.WorkTop | info.WorkRight | info.WorkBottom, 0);
    EXPECT_EQ(info.VirtualLeft | info.VirtualTop | info.VirtualRight | info.VirtualBottom, 0);
    EXPECT_TRUE(info.Monitors.empty());
}

TEST(xDisplayInfo, ListsTheActiveMonitorsOnlyWithAnEdidResolution)
{
    // The active, unmirrored monitors of desktop adapters as the system reports them.
    size_t activeMonitors = 0;
    DISPLAY_DEVICEW adapter = {};
    adapter.cb = sizeof(adapter);
    for (DWORD a = 0; EnumDisplayDevicesW(nullptr, a, &adapter, 0); ++a)
    {
        DISPLAY_DEVICEW monitor = {};
        monitor.cb = sizeof(monitor);
        for (DWORD m = 0; (adapter.StateFlags & DISPLAY_DEVICE_ATTACHED_TO_DESKTOP) &&
                          EnumDisplayDevicesW(adapter.DeviceName, m, &monitor, 0);
             ++m)
            if ((monitor.StateFlags & DISPLAY_DEVICE_ACTIVE) &&
                !(monitor.StateFlags & DISPLAY_DEVICE_MIRRORING_DRIVER))
                ++activeMonitors;
    }
    ASSERT_GE(activeMonitors, 1u) << "the X server's screen is an active monitor";

    xDisplayInfo info;
    ReadDisplayInfo(info);
    int32_t width = 0, height = 0;
    const bool found = FindMonitorEdidResolution(width, height);
    // Wine 8 gives its monitor a device key holding an empty BAD_EDID value and no EDID
    // (Xvfb reports none), so there the list stays empty.
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    EXPECT_FALSE(wine && found) << "Wine now gives its monitor an EDID: the list below is no longer empty";
    if (!found)
    {
        EXPECT_TRUE(info.Monitors.empty()) << "no monitor is listed without a native resolution";
        return;
    }
    ASSERT_EQ(info.Monitors.size(), activeMonitors);
    for (const MonitorRecord& monitor : info.Monitors)
        EXPECT_EQ(std::make_tuple(monitor.NativeWidth, monitor.NativeHeight, monitor.ShortId),
                  std::make_tuple(width, height, MonitorShortId(monitor.DeviceId)));
}

namespace
{
// A volatile key of its own under HKEY_CURRENT_USER, deleted again by the test.
class TestKey
{
public:
    explicit TestKey(const wchar_t* name) : Path(std::wstring(L"Software\\LauncherTests\\") + name)
    {
        RegCreateKeyExW(HKEY_CURRENT_USER, Path.c_str(), 0, nullptr, REG_OPTION_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &Key, nullptr);
    }
    ~TestKey()
    {
        if (Key)
            RegCloseKey(Key);
        RegDeleteKeyW(HKEY_CURRENT_USER, Path.c_str());
        RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\LauncherTests");
    }
    HKEY Get() const { return Key; }
    void SetBinary(const wchar_t* name, const std::vector<BYTE>& data) const
    {
        ASSERT_EQ(RegSetValueExW(Key, name, 0, REG_BINARY, data.data(), static_cast<DWORD>(data.size())),
                  ERROR_SUCCESS);
    }

private:
    std::wstring Path;
    HKEY Key = nullptr;
};

std::vector<BYTE> Edid(BYTE widthLow, BYTE widthHigh, BYTE heightLow, BYTE heightHigh)
{
    std::vector<BYTE> edid(128, 0);
    edid[56] = widthLow;
    edid[58] = widthHigh;
    edid[59] = heightLow;
    edid[61] = heightHigh;
    return edid;
}
} // namespace

TEST(xDisplayInfo, RegistryKeyGivesTheValueNamedExactlyEdid)
{
    // Values the walk passes first: one too large for the 1024-byte buffer and one
    // small enough to shrink a size that is not set afresh before the next read.
    {
        TestKey key(L"DisplayEdid");
        ASSERT_NE(key.Get(), nullptr);
        key.SetBinary(L"Aaa", std::vector<BYTE>(2000, 1));
        key.SetBinary(L"Bbb", std::vector<BYTE>(16, 2));
        key.SetBinary(L"EDID", Edid(0x80, 0x70, 0x38, 0x40));
        int32_t width = 0, height = 0;
        EXPECT_TRUE(ReadEdidResolution(key.Get(), width, height));
        EXPECT_EQ(std::make_pair(width, height), std::make_pair(1920, 1080));
    }
    {
        // Value names are case-insensitive in the registry, so "edid" lives in a key of its own.
        TestKey key(L"DisplayLowerEdid");
        ASSERT_NE(key.Get(), nullptr);
        key.SetBinary(L"Aaa", std::vector<BYTE>(16, 2));
        key.SetBinary(L"edid", Edid(0x00, 0x40, 0x00, 0x30));
        int32_t width = 0, height = 0;
        EXPECT_FALSE(ReadEdidResolution(key.Get(), width, height)) << "only the exact name \"EDID\" counts";
    }
    {
        // A key deleted while the walk holds it open fails at every index.
        TestKey key(L"DisplayDeletedEdid");
        ASSERT_NE(key.Get(), nullptr);
        key.SetBinary(L"EDID", Edid(0x80, 0x70, 0x38, 0x40));
        ASSERT_EQ(RegDeleteKeyW(HKEY_CURRENT_USER, L"Software\\LauncherTests\\DisplayDeletedEdid"),
                  ERROR_SUCCESS);
        int32_t width = 0, height = 0;
        EXPECT_FALSE(ReadEdidResolution(key.Get(), width, height));
    }
    HKEY left = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, L"Software\\LauncherTests", 0, KEY_READ, &left), ERROR_SUCCESS)
        << "the test keys are deleted";
    if (left)
        RegCloseKey(left);
}
