#include "xDisplayInfo.h"

#include "Windows/xDisplayInfoWindows.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

TEST(xDisplayInfo, ReadMatchesTheSystemMetrics)
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
}

// Which monitors are listed is ListMonitors' (its table); here that the system's walk reaches it.
TEST(xDisplayInfo, ListsTheMonitorsOnlyWithAnEdidResolution)
{
    xDisplayInfo info;
    ReadDisplayInfo(info);
    int32_t width = 0, height = 0;
    const bool found = FindMonitorEdidResolution(width, height);
    // Wine 8 gives its monitor a device key holding an empty BAD_EDID value and no EDID
    // (Xvfb reports none), so there the list stays empty.
    const bool wine = GetProcAddress(GetModuleHandleW(L"ntdll.dll"), "wine_get_version") != nullptr;
    EXPECT_FALSE(wine && found) << "Wine now gives its monitor an EDID: the list below is no longer empty";
    EXPECT_EQ(info.Monitors.empty(), !found) << "no monitor is listed without a native resolution";
    for (const MonitorRecord& monitor : info.Monitors)
        EXPECT_EQ(std::make_pair(monitor.NativeWidth, monitor.NativeHeight), std::make_pair(width, height));
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

// The decoding is DecodeEdidResolution's and the walk's steps RegistryWalkStep's (their tables); here
// the walk over a real key passes values the buffer cannot hold and values that shrink its size.
TEST(xDisplayInfo, RegistryKeyGivesTheValueNamedExactlyEdid)
{
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
        key.SetBinary(L"edid", Edid(0x00, 0x40, 0x00, 0x30));
        int32_t width = 0, height = 0;
        EXPECT_FALSE(ReadEdidResolution(key.Get(), width, height)) << "only the exact name \"EDID\" counts";
    }
}
