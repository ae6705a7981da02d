#include "LauncherDownloadCase.h"

#include "Crc32c.h"
#include "FontInstall.h"
#include "Lzma86.h"

#include <algorithm>
#include <chrono>
#include <thread>

namespace
{
// Font-like bytes brought to `crc` the way the publisher does it.
std::string FontBytes(size_t length, uint32_t seed, uint32_t crc)
{
    std::string font = PatternBytes(length, seed);
    uint8_t tail[4];
    Crc32cForcingBytes(Crc32c(font.data(), font.size()), crc, tail);
    return font.append(reinterpret_cast<const char*>(tail), 4);
}

std::string Packed(const std::string& font)
{
    std::vector<uint8_t> container;
    EXPECT_TRUE(EncodeLzma86(reinterpret_cast<const uint8_t*>(font.data()), font.size(), false, container));
    return std::string(container.begin(), container.end());
}
} // namespace

// The dev server serves the packed font; the download folder is the launcher's.
class FontInstallCase : public DownloadTestBase
{
protected:
    void SetUp() override
    {
        ResetFontInstall();
        StartCase(PeerKind::DevServer);
        if (IsSkipped() || HasFatalFailure())
            return;
        Places = FontPlacesFor(*Context, xString(Url("").c_str()));
    }
    void TearDown() override
    {
        ResetFontInstall();
        DownloadTestBase::TearDown();
    }

    // Starts the installation and waits for its end; the downloads of the
    // packed font (each asks for its size first, even of a missing file).
    int InstallAndCountFetches()
    {
        DevServerRequests(true);
        StartFontInstall(*Context, Places);
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
        while (IsFontInstalling() && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        EXPECT_FALSE(IsFontInstalling()) << "the installation did not end";
        const std::vector<std::string> requests = DevServerRequests(false);
        return static_cast<int>(std::count_if(
            requests.begin(), requests.end(),
            [&](const std::string& line) { return line.rfind("HEAD " + Path("simhei.fnt") + " ", 0) == 0; }));
    }

    FontPlaces Places;
};

TEST_F(FontInstallCase, NeededUnlessTheSystemOrAGoodLocalCopyHasIt)
{
    const std::string good = FontBytes(5000, 1, FontCrc32c);
    const std::string other = FontBytes(5000, 1, FontCrc32c + 1);
    const std::string empty;
    struct Case
    {
        const char* What;
        bool SystemFont;
        const std::string* Local; // null: none
        bool Needed;
    };
    const Case cases[] = {
        {"no font anywhere", false, nullptr, true},
        {"a good local copy", false, &good, false},
        {"a local copy of another version", false, &other, true},
        {"an empty local file", false, &empty, true},
        {"the system has it (whatever the local copy)", true, &other, false},
    };
    const xWString systemFont = Out("fonts/simhei.ttf");
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        Files.DeleteFile(Places.LocalFont);
        Files.DeleteFile(systemFont);
        if (c.Local != nullptr)
            Put(Places.LocalFont, *c.Local);
        if (c.SystemFont)
            Put(systemFont, "any");
        FontPlaces places = Places;
        places.SystemFont = systemFont;
        EXPECT_EQ(FontNeedsInstall(*Context, places), c.Needed);
    }
}

TEST_F(FontInstallCase, AGoodFontIsFetchedOnceAndReplacesAnotherVersion)
{
    const std::string font = FontBytes(300000, 2, FontCrc32c);
    const std::string packed = Packed(font);
    Serve("simhei.fnt", packed);
    Put(Places.LocalFont, FontBytes(1000, 3, 0x12345678));

    EXPECT_EQ(InstallAndCountFetches(), 1);
    EXPECT_EQ(FontInstallState.load(), FontInstallDone);
    EXPECT_EQ(Places.LocalFont, Out("simhei.ttf")) << "beside the launcher, where downloads land";
    EXPECT_TRUE(OutText("simhei.ttf") == font) << "the other version is overwritten";
    EXPECT_FALSE(OutExists("simhei.ttf.td"));
    EXPECT_TRUE(OutText("simhei.fnt") == packed) << "the download stays";
    EXPECT_EQ(FontBytesReceived.load(), packed.size());
    EXPECT_EQ(FontFileSize.load(), packed.size());
    EXPECT_FALSE(FontNeedsInstall(*Context, Places));
    EXPECT_TRUE(Log.Contains("Font installed: " + std::string(xString(Places.LocalFont).c_str())));
    EXPECT_TRUE(Errors().empty()) << Errors().front();

    // Present now: a second start fetches nothing.
    EXPECT_EQ(InstallAndCountFetches(), 0);
    EXPECT_EQ(FontInstallState.load(), FontInstallNotNeeded);
}

TEST_F(FontInstallCase, GivesUpAfterThreeFailedAttemptsAndLetsTheGameStart)
{
    struct Case
    {
        const char* What;
        std::string Served; // empty: nothing served (404)
        const char* Faults; // the dev server's, for simhei.fnt
        bool SetsAside;     // a temporary file is made (and is gone again at the end)
        const char* Reason;
    };
    const std::string other = FontBytes(20000, 4, 0x0BADF00D);
    const std::string good = Packed(FontBytes(300000, 2, FontCrc32c));
    const Case cases[] = {
        {"another version of the font", Packed(other), "", true, "the unpacked font has another checksum"},
        {"no Lzma86 container", "not packed at all", "", true, "simhei.fnt cannot be unpacked"},
        {"nothing on the server", "", "", false, "simhei.fnt could not be fetched"},
        {"announced larger than 64 MiB", good, "head-length=67108865", false,
         "simhei.fnt could not be fetched"},
        {"cut short", good, "drop-after=1000", true, "simhei.fnt could not be fetched"},
    };
    const std::string earlier = FontBytes(1000, 5, 0x12345678);
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        ResetFontInstall();
        Files.DeleteFile(Out("simhei.fnt"));
        Files.DeleteFile(ServedFolder() + u"simhei.fnt");
        if (!c.Served.empty())
            Serve("simhei.fnt", c.Served);
        ASSERT_TRUE(SetDevServerFaults(*c.Faults ? std::string(c.Faults) + "&for-path=simhei.fnt" : ""));
        Put(Places.LocalFont, earlier);
        const size_t logged = Log.Messages().size();

        EXPECT_EQ(InstallAndCountFetches(), FontInstallAttempts);
        EXPECT_EQ(FontInstallState.load(), FontInstallFailed);
        EXPECT_TRUE(OutText("simhei.ttf") == earlier) << "a failed install leaves the font on disk alone";
        EXPECT_FALSE(OutExists("simhei.ttf.td"));
        EXPECT_FALSE(OutExists("simhei.fnt.td")) << "a failed download leaves its temporary file";
        std::vector<std::string> failures;
        bool setAside = false;
        for (const std::string& line : Log.Messages(logged))
        {
            setAside = setAside || line == "file created: simhei.fnt.td";
            if (line.rfind("E Font installation", 0) == 0)
                failures.push_back(line);
        }
        EXPECT_EQ(setAside, c.SetsAside);
        const std::string reason = c.Reason;
        EXPECT_EQ(failures, (std::vector<std::string>{
                                "E Font installation attempt 1 of 3 failed: " + reason,
                                "E Font installation attempt 2 of 3 failed: " + reason,
                                "E Font installation attempt 3 of 3 failed: " + reason,
                                "E Font installation failed after 3 attempts; the game starts without it"}));
    }
}

// A lock file that cannot be made (a read-only one, a folder that is not
// there) is held by nobody: the install goes on at once without it.
TEST_F(FontInstallCase, ALockThatCannotBeMadeIsNotWaitedFor)
{
    Serve("simhei.fnt", Packed(FontBytes(300000, 2, FontCrc32c)));
    struct Case
    {
        const char* What;
        const char* Folder; // where the packed font and its lock lie, in the case's folder
        bool ReadOnlyLock;
    };
    const Case cases[] = {
        {"a read-only lock file", "", true},
        {"a folder that is not there", "missing/", false},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        ResetFontInstall();
        FontPlaces places = Places;
        places.LocalFont = Out(std::string(c.Folder) + "simhei.ttf");
        places.PackedFile = Out(std::string(c.Folder) + "simhei.fnt");
        const xWString lock = Out(std::string(c.Folder) + "FontLock.ins");
        if (c.ReadOnlyLock)
        {
            Put(lock, "");
            ASSERT_TRUE(Files.SetReadOnly(lock, true));
        }

        FontInstallThread(*Context, places);
        EXPECT_EQ(FontInstallState.load(), FontInstallDone);
        EXPECT_TRUE(Log.Contains("E The font lock " + Std(xString(lock)) +
                                 " cannot be created; installing without it"));
        EXPECT_FALSE(Log.Contains("Another launcher is installing the font; waiting for it"));
        Files.SetReadOnly(lock, false);
    }
}
