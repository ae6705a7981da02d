#include "LauncherDownloadCase.h"
#include "SelfUpdate.h"

#include "xTextConversion.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace
{
// Little-endian, as the resource holds it.
void Put(std::vector<uint8_t>& bytes, uint32_t value, int size)
{
    for (int i = 0; i < size; ++i)
        bytes.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A VS_VERSIONINFO block as windres writes it: header, key, padding, the fixed
// block, then a child block the reader must step over.
std::vector<uint8_t> VersionBlock(uint32_t ms, uint32_t ls, const std::u16string& key = u"VS_VERSION_INFO",
                                  uint32_t signature = 0xFEEF04BD, uint32_t valueLength = 52)
{
    std::vector<uint8_t> block;
    Put(block, 0, 2); // total length, filled in below
    Put(block, valueLength, 2);
    Put(block, 0, 2);
    for (char16_t unit : key + u'\0')
        Put(block, unit, 2);
    block.resize((block.size() + 3) / 4 * 4);
    for (uint32_t field : {signature, 0x10000u, ms, ls, ms, ls, 0x3Fu, 0u, 0x40004u, 1u, 0u, 0u, 0u})
        Put(block, field, 4);
    block.insert(block.end(), 24, 0x20); // a child block
    block[0] = static_cast<uint8_t>(block.size());
    block[1] = static_cast<uint8_t>(block.size() >> 8);
    return block;
}

} // namespace

TEST(SelfUpdateVersion, TheFixedFileVersionGivesTwoDigitsPerPartAnythingElseZero)
{
    std::vector<uint8_t> truncated = VersionBlock(0x00010002, 0x00030004);
    truncated.resize(60);
    std::vector<uint8_t> overlong = VersionBlock(0x00010002, 0x00030004);
    overlong[1] = 0x7F; // claims more bytes than there are
    const struct
    {
        const char* name;
        std::vector<uint8_t> block;
        uint32_t version;
    } cases[] = {
        {"1.2.3.4", VersionBlock(0x00010002, 0x00030004), 1020304},
        {"0.0.3.4", VersionBlock(0x00000000, 0x00030004), 304},
        {"1.0.0.1", VersionBlock(0x00010000, 0x00000001), 1000001},
        {"wrong signature", VersionBlock(0x00010002, 0x00030004, u"VS_VERSION_INFO", 0xFEEF04BC), 0},
        {"another key", VersionBlock(0x00010002, 0x00030004, u"StringFileInfo"), 0},
        {"value shorter than the fixed block",
         VersionBlock(0x00010002, 0x00030004, u"VS_VERSION_INFO", 0xFEEF04BD, 40), 0},
        {"cut inside the fixed block", truncated, 0},
        {"length past the end", overlong, 0},
        {"empty", {}, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VersionNumberFromVersionResource(c.block.data(), c.block.size()), c.version) << c.name;
}

TEST(SelfUpdateVersion, TheServerNumberIsReadAsAtoiAndComparedUnsigned)
{
    const struct
    {
        const char* text;
        uint32_t expected;
    } cases[] = {
        {"304", NoNewerLauncher},        // equal: no update
        {"303", NoNewerLauncher},        // older
        {"305", 305},                    // newer
        {"305\r\n", 305},                // the line end of the file
        {" \t+306", 306},                // blanks and a sign before the digits
        {"307abc", 307},                 // digits up to the first other character
        {"abc", NoNewerLauncher},        // atoi gives 0
        {"", NoNewerLauncher},           // nothing fetched
        {"-5", 0xFFFFFFFBu},             // negative reads as huge when compared unsigned
        {"4294967600", NoNewerLauncher}, // wraps past 32 bits to 304: equal
        {"4294967601", 305},             // wraps to 305
    };
    for (const auto& c : cases)
        EXPECT_EQ(NewerLauncherVersion(c.text, 304), c.expected) << '"' << c.text << '"';
}

TEST(SelfUpdateNames, VersionedAndOldNamesAreDerivedFromEachOther)
{
    EXPECT_EQ(LauncherVersionText(304), xString("304"));
    EXPECT_EQ(LauncherVersionText(0xFFFFFFFFu), xString("-1")) << "written with %d";
    EXPECT_EQ(VersionedLauncherName(u"qtmx.exe", "304"), xWString(u"qtmx304.exe"));
    EXPECT_EQ(VersionedLauncherName(u"C:/Games/qtmx.exe", "1000002"), xWString(u"qtmx1000002.exe"));
    EXPECT_EQ(VersionedLauncherName(u"/opt/launcher/qtmx", "304"), xWString(u"qtmx304.exe")) << "native";

    const struct
    {
        const char16_t* versioned;
        const char* version;
        bool found;
        const char16_t* old;
    } cases[] = {
        {u"qtmx304.exe", "304", true, u"qtmx.exe"},
        {u"QTMX304.EXE", "304", true, u"QTMX.exe"},
        // An old launcher named with the same digits: the cut at the first
        // occurrence lands inside the old name.
        {u"qtmx304304.exe", "304", true, u"qtmx.exe"},
        {u"game304x304.exe", "304", true, u"game.exe"},
        {u"qtmx.exe", "304", false, u""},
        {u"qtmx30.exe", "304", false, u""},
    };
    for (const auto& c : cases)
    {
        xWString old;
        EXPECT_EQ(OldLauncherName(c.versioned, c.version, old), c.found)
            << xString(xWString(c.versioned)).c_str();
        EXPECT_EQ(old, xWString(c.old)) << xString(xWString(c.versioned)).c_str();
    }
}

TEST(SelfUpdateDownload, OnlyAWholeBuildOfMoreThan200000BytesIsStarted)
{
    const struct
    {
        int64_t fileSize;
        uint64_t remoteSize;
        bool start;
    } cases[] = {
        {200001, 200001, true},
        {5000000, 5000000, true},
        {200000, 200000, false},   // exactly 200000: too small
        {4999999, 5000000, false}, // short
        {5000001, 5000000, false}, // longer than announced
        {-1, 0, false},            // no file
        {300000, 0, false},        // size never learned
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsWholeLauncherDownload(c.fileSize, c.remoteSize), c.start)
            << c.fileSize << " of " << c.remoteSize;
}

TEST(SelfUpdateDownload, TheHandingOverProcessIdIsADecimalNumber)
{
    EXPECT_EQ(ParseProcessIdArgument(u"1234"), 1234u);
    EXPECT_EQ(ParseProcessIdArgument(u"4294967295"), 4294967295u);
    for (const char16_t* text : {u"", u"12a", u"-3", u"4294967296", u"99999999999"})
        EXPECT_EQ(ParseProcessIdArgument(text), 0u) << xString(xWString(text)).c_str();
}

// The new build beside the launcher, fetched from the dev server: kept only
// whole, and then held so that nobody rewrites it before it starts; any failure
// leaves neither the build nor its temporary download, and a build announced
// larger than the cap has no space set aside at all.
class SelfUpdateFetchTest : public DownloadTestBase
{
protected:
    void SetUp() override { StartCase(PeerKind::DevServer); }
};

TEST_F(SelfUpdateFetchTest, OnlyAWholeBuildIsKeptAndHeldUntilItStarts)
{
    const std::string build = PatternBytes(300000, 7);
    const struct
    {
        const char* What;
        std::string Served;
        const char* Faults;
        bool SetsAside;
        bool Kept;
    } cases[] = {
        {"whole", build, "", true, true},
        {"announced larger than 64 MiB", build, "head-length=67108865", false, false},
        {"cut short", build, "drop-after=250000", true, false},
        {"200000 bytes", build.substr(0, 200000), "", true, false},
    };
    const std::string name = "qtmx1000002.exe";
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.What);
        Serve(name, c.Served);
        ASSERT_TRUE(SetDevServerFaults(c.Faults));
        const size_t logged = Log.Messages().size();

        const std::unique_ptr<xFileHandle> held =
            FetchLauncherBuild(*Context, xString(Url(name).c_str()), Out(name));
        EXPECT_EQ(c.Kept, held != nullptr);
        EXPECT_EQ(c.Kept, OutExists(name));
        EXPECT_FALSE(OutExists(name + ".td")) << "a failed download leaves its temporary file";
        const std::vector<std::string> lines = Log.Messages(logged);
        EXPECT_EQ(c.SetsAside,
                  std::find(lines.begin(), lines.end(), "file created: " + name + ".td") != lines.end());
        if (held)
        {
            EXPECT_FALSE(Files.OpenWrite(Out(name), false, true)) << "the checked build can be rewritten";
        }
    }
}

// One launcher at a time updates itself: a second finds the lock held and goes
// without; a lock file that cannot be made (read-only) is no update either.
TEST_F(SelfUpdateFetchTest, TheSelfUpdateLockIsHeldByOneLauncher)
{
    const xWString lock = OutFolder() + SelfUpdateLockName;
    const std::string lockText = Std(xString(lock));
    std::unique_ptr<xFile> first = TakeSelfUpdateLock(*Context, OutFolder(), 1, "starting as usual");
    ASSERT_TRUE(first);
    EXPECT_FALSE(TakeSelfUpdateLock(*Context, OutFolder(), 2, "starting as usual"));
    EXPECT_TRUE(Log.Contains("Another launcher is updating itself here (" + lockText +
                             " is held); starting as usual"));
    first.reset();
    EXPECT_TRUE(TakeSelfUpdateLock(*Context, OutFolder(), 1, "starting as usual"))
        << "the lock goes with its holder";

    ASSERT_TRUE(Files.SetReadOnly(lock, true));
    EXPECT_FALSE(TakeSelfUpdateLock(*Context, OutFolder(), 1, "starting as usual"));
    EXPECT_TRUE(Log.Contains("E The self-update lock " + lockText + " cannot be created; starting as usual"));
    Files.SetReadOnly(lock, false);
}
