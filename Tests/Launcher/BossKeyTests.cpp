#include "BossKey.h"
#include "DownloadCap.h"

#include "EngineText.h"
#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <optional>

TEST(BossKey, SettingsFileRoundTripsAndIgnoredContents)
{
    struct Case
    {
        std::optional<std::string> File; // none: no file
        uint16_t Value;                  // in memory after the load
        bool Enabled;
        std::string Saved; // the file a save writes then
    };
    // Before each load the memory holds Ctrl+3, disabled, which only a stored enabled key replaces.
    const Case cases[] = {
        {"1093,1", 0x0445, true, "1093,1"}, // Alt+E, on
        {"1093,1\r\n", 0x0445, true, "1093,1"},
        {"1093,7", 0x0233, false, "563,0"},  // the flag is 0 or 1
        {"66629,1", 0x0233, false, "563,0"}, // no 16-bit key
        {"1093,1,5", 0x0233, false, "563,0"},
        {"1093,0", 0x0233, false, "563,0"}, // a stored disabled key changes nothing
        {"1093", 0x0233, false, "563,0"},   // the flag missing reads as 0
        {"garbage", 0x0233, false, "563,0"},
        {std::nullopt, 0x0233, false, "563,0"},
    };
    TempFolder folder;
    const auto stored = folder.At("Setting.ini");
    const auto saved = folder.At("Saved.ini");
    for (const Case& c : cases)
    {
        std::filesystem::remove(stored);
        if (c.File)
        {
            ASSERT_TRUE(WriteFileBytes(stored, *c.File));
        }
        BossKeyValue = 0x0233;
        BossKeyEnabled = false;
        LoadBossKeyFrom(Wide(stored));
        const std::string name = c.File.value_or("(no file)");
        EXPECT_EQ(BossKeyValue, c.Value) << name;
        EXPECT_EQ(BossKeyEnabled, c.Enabled) << name;
        SaveBossKeyTo(Wide(saved));
        // One line without a line end.
        EXPECT_EQ(ReadFileBytes(saved), c.Saved) << name;
    }
    // A folder in the file's place cannot be written: skipped without harm.
    SaveBossKeyTo(Wide(folder.Path));
    EXPECT_TRUE(std::filesystem::is_directory(folder.Path));
}

TEST(BossKey, TheDownloadCapLineIsReadBesideTheKeyAndKeptWhenTheKeyIsSaved)
{
    struct Case
    {
        std::string File;
        int64_t Cap; // KiB/s; -1: none
        bool KeyTaken;
        std::string Saved; // the same file after the key (Alt+E, on) is saved over it
    };
    const Case cases[] = {
        {"1093,1\nmaxrate=2048", 2048, true, "1093,1\nmaxrate=2048"},
        {"1093,1\r\nmaxrate=512\r\n", 512, true, "1093,1\r\nmaxrate=512\r\n"},
        {"0,0\nmaxrate=0", 0, false, "1093,1\nmaxrate=0"},
        {"1093,1\nmaxrate=1048576", 1048576, true, "1093,1\nmaxrate=1048576"},
        // Refused: the file keeps them all the same.
        {"1093,1\nmaxrate=1048577", -1, true, "1093,1\nmaxrate=1048577"},
        {"1093,1\nmaxrate=-5", -1, true, "1093,1\nmaxrate=-5"},
        {"1093,1\nmaxrate=12x", -1, true, "1093,1\nmaxrate=12x"},
        {"1093,1\nMaxRate=64", -1, true, "1093,1\nMaxRate=64"},
        {"1093,1\nmaxrate=", -1, true, "1093,1\nmaxrate="},
        // Without a cap the key's line is all there is, as ever.
        {"1093,1", -1, true, "1093,1"},
        {"1093,1\r\n", -1, true, "1093,1"},
    };
    TempFolder folder;
    const auto path = folder.At("Setting.ini");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.File);
        ASSERT_TRUE(WriteFileBytes(path, c.File));
        BossKeyValue = 0x0233;
        BossKeyEnabled = false;
        LoadBossKeyFrom(Wide(path));
        EXPECT_EQ(BossKeyEnabled, c.KeyTaken);
        xString text;
        ASSERT_TRUE(ReadSettingsFile(Wide(path), text));
        EXPECT_EQ(DownloadCapOfSettings(SettingsAfterFirstLine(text)), c.Cap);
        BossKeyValue = DefaultBossKey;
        BossKeyEnabled = true;
        SaveBossKeyTo(Wide(path));
        EXPECT_EQ(ReadFileBytes(path), c.Saved);
    }
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
