#include "BossKey.h"
#include "DownloadCap.h"

#include "EngineText.h"
#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <optional>

// The key's line is read, and written back over it; the download cap's line after it is read and kept.
TEST(BossKey, SettingsFileRoundTripsTheKeyAndKeepsTheDownloadCapLine)
{
    struct Case
    {
        std::optional<std::string> File; // none: no file
        uint16_t Value;                  // in memory after the load
        bool Enabled;
        int64_t Cap;       // KiB/s; -1: none
        std::string Saved; // the file after the loaded key is saved over it
    };
    // Before each load the memory holds Ctrl+3, disabled, which only a stored enabled key replaces.
    const Case cases[] = {
        {"1093,1", 0x0445, true, -1, "1093,1"}, // Alt+E, on
        {"1093,1\r\n", 0x0445, true, -1, "1093,1"},
        {"1093,7", 0x0233, false, -1, "563,0"},  // the flag is 0 or 1
        {"66629,1", 0x0233, false, -1, "563,0"}, // no 16-bit key
        {"1093,1,5", 0x0233, false, -1, "563,0"},
        {"1093,0", 0x0233, false, -1, "563,0"}, // a stored disabled key changes nothing
        {"1093", 0x0233, false, -1, "563,0"},   // the flag missing reads as 0
        {"garbage", 0x0233, false, -1, "563,0"},
        {std::nullopt, 0x0233, false, -1, "563,0"},
        {"1093,1\nmaxrate=2048", 0x0445, true, 2048, "1093,1\nmaxrate=2048"},
        {"1093,1\r\nmaxrate=512\r\n", 0x0445, true, 512, "1093,1\r\nmaxrate=512\r\n"},
        {"0,0\nmaxrate=0", 0x0233, false, 0, "563,0\nmaxrate=0"},
        {"1093,1\nmaxrate=1048576", 0x0445, true, 1048576, "1093,1\nmaxrate=1048576"},
        // Refused caps: the file keeps them all the same.
        {"1093,1\nmaxrate=1048577", 0x0445, true, -1, "1093,1\nmaxrate=1048577"},
        {"1093,1\nmaxrate=-5", 0x0445, true, -1, "1093,1\nmaxrate=-5"},
        {"1093,1\nmaxrate=12x", 0x0445, true, -1, "1093,1\nmaxrate=12x"},
        {"1093,1\nMaxRate=64", 0x0445, true, -1, "1093,1\nMaxRate=64"},
        {"1093,1\nmaxrate=", 0x0445, true, -1, "1093,1\nmaxrate="},
    };
    TempFolder folder;
    const auto path = folder.At("Setting.ini");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.File.value_or("(no file)"));
        std::filesystem::remove(path);
        if (c.File)
        {
            ASSERT_TRUE(WriteFileBytes(path, *c.File));
        }
        BossKeyValue = 0x0233;
        BossKeyEnabled = false;
        LoadBossKeyFrom(Wide(path));
        EXPECT_EQ(BossKeyValue, c.Value);
        EXPECT_EQ(BossKeyEnabled, c.Enabled);
        xString text;
        EXPECT_EQ(ReadSettingsFile(Wide(path), text), c.File.has_value());
        EXPECT_EQ(DownloadCapOfSettings(SettingsAfterFirstLine(text)), c.Cap);
        SaveBossKeyTo(Wide(path));
        // The key's line without a line end, then the rest as it was.
        EXPECT_EQ(ReadFileBytes(path), c.Saved);
    }
    // A folder in the file's place cannot be written: skipped without harm.
    SaveBossKeyTo(Wide(folder.Path));
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path));
}

TEST(BossKey, HotKeyControlFlagsBecomeRegisterHotKeyModifiers)
{
    struct Case
    {
        uint16_t Value;
        uint32_t Modifiers; // MOD_ALT 1, MOD_CONTROL 2, MOD_SHIFT 4
    };
    // HOTKEYF_ shift 1, control 2, alt 4, extended 8 in the high byte.
    const Case cases[] = {
        {0x0045, 0}, {0x0145, 4}, {0x0245, 2}, {0x0445, 1}, {0x0345, 6},
        {0x0545, 5}, {0x0645, 3}, {0x0745, 7}, {0x0845, 0}, {0x0F45, 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(BossKeyModifiers(c.Value), c.Modifiers) << std::hex << c.Value;
}
