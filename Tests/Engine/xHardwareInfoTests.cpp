#include "xHardwareDetection.h"

#include "CapturedLog.h"
#include "EngineText.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

namespace
{
// What the detection finds on the platform the tests run on.
#if defined(_WIN32)
const char16_t* const ThisFamily = u"Windows";
const bool EditionKnown = false; // not every Windows names an edition
#else
const char16_t* const ThisFamily = u"Linux";
const bool EditionKnown = true; // the kernel release
#endif
} // namespace

TEST(xHardwareNaming, WindowsNamesAndEditions)
{
    // A workstation whose GetVersionExW and kernel versions are given, adjusted.
    struct Case
    {
        uint32_t Major, Minor, KernelMajor, KernelMinor;
        void (*Adjust)(xWindowsVersionFacts&);
        const char* Expected; // name | edition
    };
    const Case cases[] = {
        {6, 2, 10, 0, nullptr, "Windows 10 | "}, // GetVersionExW's 6.2 hides Windows 10
        {6, 2, 6, 3, nullptr, "Windows 8.1 | "},
        {6, 1, 6, 1, [](xWindowsVersionFacts& f) { f.ServerSystem = true, f.ProductInfoType = 7; },
         "Windows Server 2008 R2 | Standard Edition"},
        {6, 2, 10, 0, [](xWindowsVersionFacts& f) { f.ProductInfoType = 48; }, "Windows 10 | Professional"},
        {6, 1, 6, 1, [](xWindowsVersionFacts& f) { f.ProductInfoAvailable = false; },
         "Windows 7 | (type unknown)"},
        // Without RtlGetVersion no 6.x test passes.
        {6, 2, 6, 2, [](xWindowsVersionFacts& f) { f.KernelVersionKnown = false; },
         "Windows (unknown version) | "},
        {5, 1, 5, 1, [](xWindowsVersionFacts& f) { f.SuiteMask = 0x0200; }, "Windows XP | Home Edition"},
        {5, 2, 5, 2, [](xWindowsVersionFacts& f) { f.X64Processor = true; },
         "Windows XP | Professional x64 Edition"},
        {5, 2, 5, 2, [](xWindowsVersionFacts& f) { f.ServerR2 = f.X64Processor = true; },
         "Windows Server 2003 R2 | "},
        {5, 0, 5, 0, [](xWindowsVersionFacts& f) { f.ProductType = 3, f.SuiteMask = 0x82; },
         "Windows 2000 | Datacenter Server"},
        {5, 3, 5, 3, nullptr, "Windows (unknown version) | "},
        {10, 0, 10, 0, [](xWindowsVersionFacts& f) { f.ServicePack = u"Service Pack 9"; },
         "Windows (unknown version) | Service Pack 9"},
        {6, 1, 6, 1, [](xWindowsVersionFacts& f) { f.VersionRead = false; }, "Windows (unknown version) | "},
    };
    for (const Case& c : cases)
    {
        xWindowsVersionFacts facts;
        facts.VersionRead = facts.KernelVersionKnown = facts.ProductInfoAvailable = true;
        facts.ProductType = 1;
        std::tie(facts.Major, facts.Minor, facts.KernelMajor, facts.KernelMinor) =
            std::tie(c.Major, c.Minor, c.KernelMajor, c.KernelMinor);
        if (c.Adjust)
            c.Adjust(facts);
        const xWindowsVersionName name = NameWindowsVersion(facts);
        EXPECT_EQ(Narrow(name.Name) + " | " + Narrow(name.Edition), c.Expected) << "case " << &c - cases;
    }
    EXPECT_EQ(EditionForProductType(10), u"Enterprise Edition");
    EXPECT_EQ(EditionForProductType(16), u"");
}

TEST(xHardwareNaming, BitnessLanguageAndDistribution)
{
    EXPECT_FALSE(Is64BitFromWow64Probe({false, false, 0})) << "no GetSystemWow64DirectoryA: a 32-bit system";
    EXPECT_TRUE(Is64BitFromWow64Probe({true, true, 0}));
    EXPECT_FALSE(Is64BitFromWow64Probe({true, false, 120})) << "ERROR_CALL_NOT_IMPLEMENTED";
    EXPECT_TRUE(Is64BitFromWow64Probe({true, false, 5}));
    EXPECT_EQ(BitnessForMachine("aarch64"), 64);
    EXPECT_EQ(BitnessForMachine("s390x"), 64);
    EXPECT_EQ(BitnessForMachine("i686"), 32);

    EXPECT_EQ(JoinLanguageAndCountry(u"en", u""), u"") << "an unreadable country leaves no language";
    EXPECT_EQ(LanguageFromLocaleName("en_US.UTF-8"), u"en-US");
    EXPECT_EQ(LanguageFromLocaleName("de_AT@euro"), u"de-AT");
    EXPECT_EQ(LanguageFromLocaleName("C.UTF-8"), u"");

    const xString osRelease = "NAME=Debian\nPRETTY_NAME=\"Debian 12 (\\\"bookworm\\\")\"\nID='debian'\n";
    EXPECT_EQ(OsReleaseValue(osRelease, "PRETTY_NAME"), "Debian 12 (\"bookworm\")");
    EXPECT_EQ(OsReleaseValue(osRelease, "NAME"), "Debian");
    EXPECT_EQ(OsReleaseValue(osRelease, "ID"), "debian");
    EXPECT_EQ(OsReleaseValue(osRelease, "VERSION"), "");
}

TEST(xHardwareDetection, ThreadFillsTheRecordAndLogsEachTimedStep)
{
    CapturedLog log;
    xHardwareInfo info;
    ASSERT_TRUE(StartHardwareDetection(&info));
    // The whole detection's line is the third and last, once the record is filled.
    std::vector<std::string> lines;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while ((lines = log.Messages()).size() < 3 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_EQ(lines.size(), 3u) << "the detection did not end within 30 s";
    EXPECT_EQ(info.DetectionDone.load(std::memory_order_acquire), 1);
    const char* steps[] = {"GetWindowsInfo", "GetOSLang", "HardwareDetect"};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(std::string(steps[i]) + ": [0-9]+\\.[0-9]{6}")))
            << "step " << i << " logged " << lines[i];
    EXPECT_NE(info.VersionName, u"");
    EXPECT_EQ(info.Family, ThisFamily);
    EXPECT_EQ(info.Bitness, 64) << "a 64-bit test program runs on a 64-bit system only";
    EXPECT_TRUE(!EditionKnown || !info.Edition.IsEmpty()) << "the kernel release is the edition here";
}
