#include "LauncherDownloadCase.h"

#include "Crc32c.h"
#include "Lzma86.h"
#include "PackageProgress.h"
#include "PackageWorker.h"
#include "PackageWorkerThread.h"

#include <algorithm>
#include <string>
#include <vector>

// The package worker against the dev server: packages and manifests laid out
// as the publisher lays them out, hostile ones written by hand.

namespace
{
struct ClientFile
{
    std::string Name;
    std::vector<uint8_t> Bytes;
    bool Compressed = false;
};

struct TestPackage
{
    std::vector<uint8_t> Package;
    std::string Xml;
};

std::string FileElement(const std::string& name, size_t origSize, uint32_t crc, size_t start, size_t dataSize,
                        bool compressed)
{
    return "<file name=\"" + name + "\" origSize=\"" + std::to_string(origSize) + "\" origCRC32C=\"" +
           std::to_string(crc) + "\" startPos=\"" + std::to_string(start) + "\" dataSize=\"" +
           std::to_string(dataSize) + "\" bCompressed=\"" + (compressed ? "1" : "0") + "\"/>\n";
}

// The files' data back to back; `extra` elements go into the manifest as they are.
TestPackage MakePackage(const std::vector<ClientFile>& files, const std::string& extra = "")
{
    TestPackage made;
    std::string elements;
    for (const ClientFile& file : files)
    {
        std::vector<uint8_t> data = file.Bytes;
        if (file.Compressed)
            EncodeLzma86(file.Bytes.data(), file.Bytes.size(), false, data);
        elements += FileElement(file.Name, file.Bytes.size(), Crc32c(file.Bytes.data(), file.Bytes.size()),
                                made.Package.size(), data.size(), file.Compressed);
        made.Package.insert(made.Package.end(), data.begin(), data.end());
    }
    made.Xml = "<package totalSize=\"" + std::to_string(made.Package.size()) + "\" crc32c=\"" +
               std::to_string(Crc32c(made.Package.data(), made.Package.size())) + "\">\n" + elements + extra +
               "</package>\n";
    return made;
}

std::vector<uint8_t> ManifestContainer(const std::string& xml)
{
    std::vector<uint8_t> container;
    EncodeLzma86(reinterpret_cast<const uint8_t*>(xml.data()), xml.size(), false, container);
    return container;
}

bool HasTemporaryFiles(const xWString& folder)
{
    std::vector<xWString> found;
    xEngineFileSystem().FindFilesRecursive(found, folder, u"*.td", true, false);
    return !found.empty();
}

class PackageWorkerTest : public DownloadTestBase
{
protected:
    void SetUp() override
    {
        StartCase(PeerKind::DevServer);
        ResetPackageProgress();
        PackageRetryPolicy quick;
        quick.FirstPause = std::chrono::milliseconds(10);
        quick.LongestPause = std::chrono::milliseconds(40);
        SetPackageRetryPolicy(quick);
    }
    void TearDown() override
    {
        SetPackageRetryPolicy(PackageRetryPolicy());
        DownloadTestBase::TearDown();
    }

    PackageJob Job(const std::string& version = "T") const
    {
        PackageJob job;
        job.BaseUrl = Url("").c_str();
        job.PackageName = ("Startup" + version + ".pkg").c_str();
        job.ManifestName = ("Startup" + version + ".crc").c_str();
        job.PublishFolder = Publish();
        return job;
    }
    xWString Publish() const { return OutFolder() + u"Publish/"; }
    xWString Installed(const std::string& name) const { return Publish() + Utf8ToWide(name.c_str()); }

    void Serve(const TestPackage& made, const std::string& version = "T")
    {
        DownloadTestBase::Serve("Startup" + version + ".pkg", made.Package);
        DownloadTestBase::Serve("Startup" + version + ".crc", ManifestContainer(made.Xml));
    }
    void ExpectInstalled(const std::vector<ClientFile>& files)
    {
        for (const ClientFile& file : files)
        {
            std::vector<uint8_t> bytes;
            EXPECT_TRUE(ReadWholeFile(Installed(file.Name), bytes)) << file.Name;
            EXPECT_TRUE(bytes == file.Bytes) << file.Name << " differs";
        }
        EXPECT_FALSE(HasTemporaryFiles(Publish())) << "a temporary file was left behind";
    }
    // The dev server's record since the last call, cleared.
    std::vector<std::string> Requests() { return DevServerRequests(true); }
    size_t CountOf(const std::vector<std::string>& requests, const std::string& start)
    {
        return static_cast<size_t>(std::count_if(
            requests.begin(), requests.end(), [&](const std::string& r) { return r.rfind(start, 0) == 0; }));
    }
};

std::vector<ClientFile> SampleClient()
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "line " + std::to_string(i) + " of the client's settings\n";
    return {{"game.exe", BytesOf(PatternBytes(3000, 1)), true},
            {"data/a/b/deep.dat", BytesOf(PatternBytes(5000, 2)), false},
            {"\xE6\x95\xB0\xE6\x8D\xAE/readme.txt", BytesOf(text), true},
            {"empty.bin", {}, false}};
}
} // namespace

TEST_F(PackageWorkerTest, FreshClientComesWholeAndAgainOnlyTheManifest)
{
    const std::vector<ClientFile> client = SampleClient();
    const TestPackage made = MakePackage(client);
    Serve(made);

    EXPECT_EQ(0, PackageUpdateThread(Job()));
    ExpectInstalled(client);
    EXPECT_EQ(PackageUpdateDone, PackageUpdateState.load());
    EXPECT_TRUE(FullDownloadDone.load());
    EXPECT_FALSE(PartialDownloadDone.load());
    EXPECT_EQ(made.Package.size(), PackageBytesNeeded.load()) << "every file was stale";
    EXPECT_EQ(made.Package.size(), PackageBytesReceived.load());
    EXPECT_GE(DownloadEndTime.load(), DownloadStartTime.load());
    EXPECT_GE(CrcEndTime.load(), CrcStartTime.load());
    EXPECT_GT(DownloadSpeed.load(), 0.0);

    // Up to date: only the manifest is asked for, and the former need stays.
    Requests();
    PackageBytesNeeded = 12345;
    EXPECT_EQ(0, PackageUpdateThread(Job()));
    const std::vector<std::string> again = Requests();
    EXPECT_EQ(0u, CountOf(again, "GET " + Path("StartupT.pkg")));
    EXPECT_EQ(1u, CountOf(again, "GET " + Path("StartupT.crc")));
    EXPECT_EQ(12345u, PackageBytesNeeded.load());
    EXPECT_EQ(PackageUpdateDone, PackageUpdateState.load());

    // A package that still verifies is unpacked again without a transfer.
    ASSERT_TRUE(Files.DeleteDirectory(Publish()));
    EXPECT_EQ(0, PackageUpdateThread(Job()));
    EXPECT_EQ(0u, CountOf(Requests(), "GET " + Path("StartupT.pkg")));
    ExpectInstalled(client);

    // A missing empty file needs no bytes, but is made again, without a request.
    ResetPackageProgress();
    ASSERT_TRUE(Files.DeleteFile(Installed("empty.bin")));
    EXPECT_EQ(0, PackageUpdateThread(Job()));
    EXPECT_TRUE(PartialDownloadDone.load());
    EXPECT_EQ(0u, CountOf(Requests(), "GET " + Path("StartupT.pkg")));
    ExpectInstalled(client);
}

TEST_F(PackageWorkerTest, HalfStaleGoesByExactRangesAndMoreThanHalfFetchesTheWhole)
{
    // 100 bytes of data: 50 + 49 + 1.
    const std::vector<ClientFile> client = {{"half.dat", BytesOf(PatternBytes(50, 3)), false},
                                            {"deep/er/most.dat", BytesOf(PatternBytes(49, 4)), false},
                                            {"one.dat", BytesOf(PatternBytes(1, 5)), false}};
    Serve(MakePackage(client));
    ASSERT_EQ(0, PackageUpdateThread(Job()));
    Requests();

    // Exactly half stale: the one range, whatever else is on disk.
    ResetPackageProgress();
    ASSERT_TRUE(WriteWholeFile(Installed("half.dat"), BytesOf("stale")));
    EXPECT_EQ(0, PackageUpdateThread(Job()));
    std::vector<std::string> asked = Requests();
    EXPECT_EQ(1u, CountOf(asked, "GET " + Path("StartupT.pkg") + " HTTP/1.1 Range: bytes=0-49"));
    EXPECT_EQ(1u, CountOf(asked, "GET " + Path("StartupT.pkg")));
    EXPECT_TRUE(PartialDownloadDone.load());
    EXPECT_FALSE(FullDownloadDone.load());
    ExpectInstalled(client);

    // Every missing folder level is made again.
    ASSERT_TRUE(Files.DeleteDirectory(Publish() + u"deep/"));
    EXPECT_EQ(0, PackageUpdateThread(Job()));
    asked = Requests();
    EXPECT_EQ(1u, CountOf(asked, "GET " + Path("StartupT.pkg") + " HTTP/1.1 Range: bytes=50-98"));
    ExpectInstalled(client);

    // One byte more than half: the whole package, no ranges (the package of the
    // first update still verifies, so it is only unpacked again).
    ResetPackageProgress();
    ASSERT_TRUE(WriteWholeFile(Installed("half.dat"), BytesOf("stale")));
    ASSERT_TRUE(Files.DeleteFile(Installed("one.dat")));
    EXPECT_EQ(0, PackageUpdateThread(Job()));
    asked = Requests();
    EXPECT_EQ(0u, CountOf(asked, "GET " + Path("StartupT.pkg")));
    EXPECT_TRUE(FullDownloadDone.load());
    EXPECT_EQ(51u, PackageBytesNeeded.load());
    ExpectInstalled(client);
}

TEST_F(PackageWorkerTest, HostileManifestWritesNothingOutsideThePublishFolder)
{
    // ok.txt holds most of the data, so the first update takes the full way.
    const std::vector<ClientFile> client = {{"ok.txt", BytesOf(PatternBytes(100, 9)), false}};
    std::string hostile;
    const char* names[] = {"../escape.txt",    "/abs.txt",      "C:/drive.txt", "a:b.txt",
                           "sub/../../up.txt", "sub\\back.txt", "NUL.txt",      "trail./x.txt"};
    for (const char* name : names)
        hostile += FileElement(name, 4, Crc32c("fine", 4), 0, 4, false);
    hostile += FileElement(std::string(1100, 'n'), 4, Crc32c("fine", 4), 0, 4, false);
    // Data past the package's end, stored and packed.
    hostile += FileElement("past.bin", 4, 0, 1000000, 4, false);
    hostile += FileElement("longer.bin", 400, 0, 0, 4, false);
    Serve(MakePackage(client, hostile));

    EXPECT_EQ(0, PackageUpdateThread(Job()));
    ExpectInstalled(client);
    EXPECT_FALSE(Files.IsFile(Installed("past.bin")));
    EXPECT_FALSE(Files.IsFile(Installed("longer.bin")));
    EXPECT_FALSE(Files.IsFile(OutFolder() + u"escape.txt"));
    EXPECT_FALSE(Files.IsFile(Server->Root + u"up.txt"));
    EXPECT_FALSE(Files.IsFile(Server->Root + u"escape.txt"));
    EXPECT_EQ(9u, Log.MessagesStartingWith("E Manifest entry skipped, its name does not stay").size());
    EXPECT_EQ(2u, Log.MessagesStartingWith("E Manifest entry ").size() -
                      Log.MessagesStartingWith("E Manifest entry skipped").size())
        << "both entries that reach past the data are refused";
    EXPECT_TRUE(FullDownloadDone.load());

    // The same two entries by ranges: nothing fetched past the data is written.
    EXPECT_EQ(0, PackageUpdateThread(Job()));
    EXPECT_TRUE(PartialDownloadDone.load());
    EXPECT_FALSE(Files.IsFile(Installed("past.bin")));
    EXPECT_FALSE(Files.IsFile(Installed("longer.bin")));
    EXPECT_FALSE(HasTemporaryFiles(Publish()));
    EXPECT_EQ(1u, Log.MessagesStartingWith("E past.bin could not be fetched").size());
    EXPECT_EQ(1u,
              Log.MessagesStartingWith("E Manifest entry longer.bin is larger than its package data").size());
}

TEST_F(PackageWorkerTest, ShortRangesAreRetriedAndNeverWritten)
{
    // b.dat's data is less than half of the package: it goes by range.
    const std::vector<ClientFile> client = {{"a.dat", BytesOf(PatternBytes(600, 6)), false},
                                            {"b.dat", BytesOf(PatternBytes(500, 7)), true}};
    Serve(MakePackage(client));
    ASSERT_EQ(0, PackageUpdateThread(Job()));
    ASSERT_TRUE(WriteWholeFile(Installed("b.dat"), BytesOf("old")));
    Requests();

    ASSERT_TRUE(SetDevServerFaults("drop-after=10&for-path=StartupT.pkg"));
    EXPECT_EQ(0, PackageUpdateThread(Job()));
    EXPECT_EQ(3u, CountOf(Requests(), "GET " + Path("StartupT.pkg")));
    EXPECT_EQ("old", OutText("Publish/b.dat")) << "a short range never reaches the file";
    EXPECT_FALSE(HasTemporaryFiles(Publish()));
    EXPECT_EQ(3u, Log.MessagesStartingWith("E Range of b.dat came back short").size());
    EXPECT_EQ(1u, Log.MessagesStartingWith("E b.dat could not be fetched").size());
    EXPECT_EQ(0u, PackageBytesReceived.load()) << "thrown-away bytes are no progress";

    // A server that fails once, then recovers: the second try repairs the file.
    ASSERT_TRUE(SetDevServerFaults("drop-after=10&for-path=StartupT.pkg&times=1"));
    EXPECT_EQ(0, PackageUpdateThread(Job()));
    EXPECT_EQ(2u, CountOf(Requests(), "GET " + Path("StartupT.pkg")));
    ExpectInstalled(client);
}

TEST_F(PackageWorkerTest, DroppedPackageTransferIsFetchedAgain)
{
    std::vector<ClientFile> client = SampleClient();
    client.push_back({"big.bin", BytesOf(PatternBytes(300000, 8)), false});
    Serve(MakePackage(client));
    ASSERT_TRUE(SetDevServerFaults("drop-after=70000&for-path=StartupT.pkg&times=2"));

    EXPECT_EQ(0, PackageUpdateThread(Job()));
    EXPECT_EQ(3u, CountOf(Requests(), "GET " + Path("StartupT.pkg")));
    ExpectInstalled(client);
    EXPECT_TRUE(FullDownloadDone.load());

    // A package that never verifies is given up after the bound; the client stays.
    ASSERT_TRUE(Files.DeleteDirectory(Publish()));
    ASSERT_TRUE(Files.DeleteFile(Out("StartupT.pkg")));
    ASSERT_TRUE(SetDevServerFaults("drop-after=70000&for-path=StartupT.pkg"));
    EXPECT_EQ(-1, PackageUpdateThread(Job()));
    EXPECT_EQ(PackageUpdateDownloading, PackageUpdateState.load());
    EXPECT_EQ(static_cast<size_t>(GetPackageRetryPolicy().PackageAttempts),
              CountOf(Requests(), "GET " + Path("StartupT.pkg")));
    EXPECT_EQ(1u,
              Log.MessagesStartingWith("E Package " + Url("StartupT.pkg") + " did not verify after").size());
    EXPECT_FALSE(Files.IsFile(Installed("game.exe")));
}

TEST_F(PackageWorkerTest, BrokenManifestIsFetchedAgainThenTheUpdateStops)
{
    DownloadTestBase::Serve("StartupT.crc", BytesOf("not a container"));
    PackageUpdateState = PackageUpdateStarted;
    EXPECT_EQ(-1, PackageUpdateThread(Job()));
    EXPECT_EQ(PackageUpdateStarted, PackageUpdateState.load());
    EXPECT_EQ(3u, CountOf(Requests(), "GET " + Path("StartupT.crc")));
    EXPECT_EQ(1u, Log.MessagesStartingWith("E Package update stopped: no readable manifest").size());

    // No manifest at all: asked for again, then the update stops (nothing says
    // whether the client is whole).
    ASSERT_TRUE(Files.DeleteFile(Out("StartupT.crc")));
    ASSERT_TRUE(Files.DeleteFile(ServedFolder() + u"StartupT.crc"));
    Requests();
    EXPECT_EQ(-1, PackageUpdateThread(Job()));
    EXPECT_EQ(PackageUpdateStarted, PackageUpdateState.load());
    EXPECT_EQ(3u, CountOf(Requests(), "HEAD " + Path("StartupT.crc")));
    EXPECT_EQ(3u,
              Log.MessagesStartingWith("E Manifest " + Url("StartupT.crc") + " could not be fetched").size());

    // The installed client counts as final: not even the manifest is asked for.
    Requests();
    PackageJob local = Job();
    local.LocalMode = true;
    EXPECT_EQ(0, PackageUpdateThread(local));
    EXPECT_TRUE(Requests().empty());
}

TEST_F(PackageWorkerTest, OneWorkerAtATimeAndAnotherVersionRunsAfterIt)
{
    const std::vector<ClientFile> first = {{"v.txt", BytesOf("first"), false}};
    const std::vector<ClientFile> second = {{"v.txt", BytesOf("second"), false}};
    Serve(MakePackage(first), "1");
    Serve(MakePackage(second), "2");
    PackageWorkerThread& worker = ThePackageWorker();

    // Held: kept, not started, until released.
    worker.Hold();
    EXPECT_EQ(PackageWorkerThread::Outcome::Queued, worker.Run(Job("1")));
    EXPECT_FALSE(worker.IsBusy());
    EXPECT_TRUE(Requests().empty());

    // The manifest of version 1 comes slowly, so both later requests meet a running worker.
    ASSERT_TRUE(SetDevServerFaults("delay-ms=300&for-path=Startup1.crc"));
    worker.Release();
    EXPECT_TRUE(worker.IsBusy());
    EXPECT_EQ(PackageWorkerThread::Outcome::AlreadyRunning, worker.Run(Job("1")));
    EXPECT_EQ(PackageWorkerThread::Outcome::Queued, worker.Run(Job("2")));
    ASSERT_TRUE(worker.WaitUntilIdle(std::chrono::seconds(60)));
    EXPECT_EQ(0, worker.LastResult());
    ExpectInstalled(second);

    // Version 2's requests all come after version 1's.
    const std::vector<std::string> asked = Requests();
    size_t lastOfFirst = 0;
    size_t firstOfSecond = asked.size();
    for (size_t i = 0; i < asked.size(); ++i)
    {
        if (asked[i].find("Startup1.") != std::string::npos)
            lastOfFirst = i;
        if (asked[i].find("Startup2.") != std::string::npos)
            firstOfSecond = std::min(firstOfSecond, i);
    }
    EXPECT_LT(lastOfFirst, firstOfSecond);
    EXPECT_EQ(1u, CountOf(asked, "GET " + Path("Startup1.crc")));
    EXPECT_EQ(1u, CountOf(asked, "GET " + Path("Startup2.crc")));
}
