#include "xEngineContext.h"
#include "xHardwareDetection.h"
#include "xLog.h"

#include "EngineText.h"
#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <regex>
#include <string>
#include <vector>

#if defined(_WIN32)
#include "Windows/xWindowsVersion.h"
#endif

namespace fs = std::filesystem;

namespace
{
// A workstation whose GetVersionExW and kernel versions are given; product type 0.
std::string Named(uint32_t major, uint32_t minor, uint32_t kernelMajor, uint32_t kernelMinor,
                  void (*adjust)(xWindowsVersionFacts&) = nullptr)
{
    xWindowsVersionFacts facts;
    facts.VersionRead = facts.KernelVersionKnown = facts.ProductInfoAvailable = true;
    facts.Major = major;
    facts.Minor = minor;
    facts.ProductType = 1;
    facts.KernelMajor = kernelMajor;
    facts.KernelMinor = kernelMinor;
    if (adjust)
        adjust(facts);
    const xWindowsVersionName name = NameWindowsVersion(facts);
    return Narrow(name.Name) + " | " + Narrow(name.Edition);
}

// Hands lines on to the real file target and lets the test wait for one; the
// wait also orders the detection thread's writes before the test's reads.
class WaitableTarget : public xLogTarget
{
public:
    explicit WaitableTarget(std::unique_ptr<xLogTarget> inner)
        : xLogTarget(u"waitable"), Inner(std::move(inner))
    {
    }
    void Write(const xString& prefix, LogLevel level, LogCategory category, int foreground, int background,
               const xString& message) override
    {
        std::lock_guard<std::mutex> lock(Mutex);
        Inner->Write(prefix, level, category, foreground, background, message);
        Seen |= std::string(message.c_str()).rfind(Awaited, 0) == 0;
        Changed.notify_all();
    }
    bool Wait()
    {
        std::unique_lock<std::mutex> lock(Mutex);
        return Changed.wait_for(lock, std::chrono::seconds(30), [&] { return Seen; });
    }
    const std::string Awaited = "HardwareDetect: ";

private:
    std::unique_ptr<xLogTarget> Inner;
    std::mutex Mutex;
    std::condition_variable Changed;
    bool Seen = false;
};
} // namespace

TEST(xHardwareNaming, WindowsNamesAndEditions)
{
    EXPECT_EQ(Named(6, 2, 10, 0), "Windows 10 | ") << "GetVersionExW's 6.2 hides Windows 10";
    EXPECT_EQ(Named(6, 2, 6, 3), "Windows 8.1 | ");
    EXPECT_EQ(
        Named(6, 1, 6, 1, [](xWindowsVersionFacts& f) { f.ServerSystem = true, f.ProductInfoType = 7; }),
        "Windows Server 2008 R2 | Standard Edition");
    EXPECT_EQ(Named(6, 2, 10, 0, [](xWindowsVersionFacts& f) { f.ProductInfoType = 48; }),
              "Windows 10 | Professional");
    EXPECT_EQ(Named(6, 1, 6, 1, [](xWindowsVersionFacts& f) { f.ProductInfoAvailable = false; }),
              "Windows 7 | (type unknown)");
    EXPECT_EQ(Named(6, 2, 6, 2, [](xWindowsVersionFacts& f) { f.KernelVersionKnown = false; }),
              "Windows (unknown version) | ")
        << "without RtlGetVersion no 6.x test passes";
    EXPECT_EQ(Named(5, 1, 5, 1, [](xWindowsVersionFacts& f) { f.SuiteMask = 0x0200; }),
              "Windows XP | Home Edition");
    EXPECT_EQ(Named(5, 2, 5, 2, [](xWindowsVersionFacts& f) { f.X64Processor = true; }),
              "Windows XP | Professional x64 Edition");
    EXPECT_EQ(Named(5, 2, 5, 2, [](xWindowsVersionFacts& f) { f.ServerR2 = f.X64Processor = true; }),
              "Windows Server 2003 R2 | ");
    EXPECT_EQ(Named(5, 0, 5, 0, [](xWindowsVersionFacts& f) { f.ProductType = 3, f.SuiteMask = 0x82; }),
              "Windows 2000 | Datacenter Server");
    EXPECT_EQ(Named(5, 3, 5, 3), "Windows (unknown version) | ");
    EXPECT_EQ(Named(10, 0, 10, 0, [](xWindowsVersionFacts& f) { f.ServicePack = u"Service Pack 9"; }),
              "Windows (unknown version) | Service Pack 9");
    EXPECT_EQ(Named(6, 1, 6, 1, [](xWindowsVersionFacts& f) { f.VersionRead = false; }),
              "Windows (unknown version) | ");
    EXPECT_EQ(Narrow(EditionForProductType(10)), "Enterprise Edition");
    EXPECT_EQ(Narrow(EditionForProductType(16)), "");
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

    EXPECT_EQ(Narrow(JoinLanguageAndCountry(u"en", u"")), "") << "an unreadable country leaves no language";
    EXPECT_EQ(Narrow(LanguageFromLocaleName("en_US.UTF-8")), "en-US");
    EXPECT_EQ(Narrow(LanguageFromLocaleName("de_AT@euro")), "de-AT");
    EXPECT_EQ(Narrow(LanguageFromLocaleName("C.UTF-8")), "");

    const xString osRelease = "NAME=Debian\nPRETTY_NAME=\"Debian 12 (\\\"bookworm\\\")\"\nID='debian'\n";
    EXPECT_STREQ(OsReleaseValue(osRelease, "PRETTY_NAME").c_str(), "Debian 12 (\"bookworm\")");
    EXPECT_STREQ(OsReleaseValue(osRelease, "NAME").c_str(), "Debian");
    EXPECT_STREQ(OsReleaseValue(osRelease, "ID").c_str(), "debian");
    EXPECT_STREQ(OsReleaseValue(osRelease, "VERSION").c_str(), "");
}

#if defined(_WIN32)
TEST(xHardwareNaming, WindowsQueriesAnswerForThisSystem)
{
    uint32_t major = 0, minor = 0;
    ASSERT_TRUE(QueryKernelVersion(major, minor));
    EXPECT_TRUE(IsWindowsVersionOrGreater(major, minor));
    EXPECT_FALSE(IsWindowsVersionOrGreater(major + 1, 0));
    EXPECT_TRUE(Is64BitWindows()) << "a 64-bit test program runs on 64-bit Windows only";
    EXPECT_FALSE(IsServerSystem());
}
#endif

TEST(xHardwareDetection, ThreadFillsTheRecordAndLogsEachTimedStep)
{
    const TempFolder temp("xHardwareInfoTests");
    const fs::path& folder = temp.Path;
    xEngineContext context;
    context.LogBasePath = xString((folder / "Hardware").generic_u8string().c_str());
    context.LogSingleFile = 1;
    xLog* logger = xLog::Create(context);
    auto* waitable = new WaitableTarget(std::move(logger->FileTarget));
    logger->FileTarget.reset(waitable);
    xEngineContext* const saved = GEngineContext;
    GEngineContext = &context;

    xHardwareInfo info;
    ASSERT_TRUE(StartHardwareDetection(&info));
    const bool finished = waitable->Wait();
    GEngineContext = saved;
    delete logger;
    std::vector<std::string> lines;
    for (const std::string& line : ReadFileLines(folder / "Hardware.txt"))
        lines.push_back(line.substr(std::min(line.size(), line.find("] ") + 12))); // timestamp and level

    ASSERT_TRUE(finished) << "the detection did not end within 30 s";
    EXPECT_EQ(info.DetectionDone.load(std::memory_order_acquire), 1);
    ASSERT_EQ(lines.size(), 3u);
    const char* steps[] = {"GetWindowsInfo", "GetOSLang", "HardwareDetect"};
    for (size_t i = 0; i < 3; ++i)
        EXPECT_TRUE(std::regex_match(lines[i], std::regex(std::string(steps[i]) + ": [0-9]+\\.[0-9]{6}\r?")))
            << "step " << i << " logged " << lines[i];
    EXPECT_NE(Narrow(info.VersionName), "");
#if defined(_WIN32)
    EXPECT_EQ(Narrow(info.Family), "Windows");
    EXPECT_EQ(info.Bitness, 64);
#else
    EXPECT_EQ(Narrow(info.Family), "Linux");
    EXPECT_TRUE(info.Bitness == 64 || info.Bitness == 32) << info.Bitness;
    EXPECT_NE(Narrow(info.Edition), "") << "the kernel release";
#endif
}
