#include "LauncherDownloadCase.h"

#include "Crc32c.h"
#include "EngineText.h"
#include "FileBytes.h"
#include "Lzma86.h"
#include "PackageProgress.h"
#include "PackageWorker.h"
#include "PackageWorkerThread.h"

#ifndef _WIN32
#include "ChildProcess.h"

#include <csignal>
#include <sys/mount.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

// The package worker against the dev server: packages and manifests laid out
// as the publisher lays them out, hostile ones written by hand.

namespace
{
struct ClientFile
{
    std::string Name;
    std::string Bytes;
    bool Compressed = false;
};

struct TestPackage
{
    std::string Package;
    std::string Xml;
    std::vector<size_t> Starts; // each file's data in the package
};

std::string Lzma86Of(const std::string& bytes)
{
    std::vector<uint8_t> container;
    EncodeLzma86(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), false, container);
    return std::string(container.begin(), container.end());
}

std::string FileElement(const std::string& name, const std::string& bytes, size_t start, size_t dataSize,
                        bool compressed)
{
    return "<file name=\"" + name + "\" origSize=\"" + std::to_string(bytes.size()) + "\" origCRC32C=\"" +
           std::to_string(Crc32c(bytes.data(), bytes.size())) + "\" startPos=\"" + std::to_string(start) +
           "\" dataSize=\"" + std::to_string(dataSize) + "\" bCompressed=\"" + (compressed ? "1" : "0") +
           "\"/>\n";
}

// The files' data back to back; `extra` elements go into the manifest as they are.
TestPackage MakePackage(const std::vector<ClientFile>& files, const std::string& extra = "")
{
    TestPackage made;
    std::string elements;
    for (const ClientFile& file : files)
    {
        const std::string data = file.Compressed ? Lzma86Of(file.Bytes) : file.Bytes;
        elements += FileElement(file.Name, file.Bytes, made.Package.size(), data.size(), file.Compressed);
        made.Starts.push_back(made.Package.size());
        made.Package += data;
    }
    made.Xml = "<package totalSize=\"" + std::to_string(made.Package.size()) + "\" crc32c=\"" +
               std::to_string(Crc32c(made.Package.data(), made.Package.size())) + "\">\n" + elements + extra +
               "</package>\n";
    return made;
}

class PackageWorkerTest : public DownloadTestBase
{
protected:
    virtual PeerKind Peer() const { return PeerKind::DevServer; }
    void SetUp() override
    {
        StartCase(Peer());
        ResetPackageProgress();
        // The product's attempts, short pauses.
        SetPackageRetryPolicy({3, 10, 3, std::chrono::milliseconds(10), std::chrono::milliseconds(40)});
    }
    void TearDown() override
    {
        SetPackageRetryPolicy(PackageRetryPolicy());
        SetPackageDecoderCount(0);
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
        Put(ServedFolder() + Utf8ToWide(("Startup" + version + ".pkg").c_str()), made.Package);
        Put(ServedFolder() + Utf8ToWide(("Startup" + version + ".crc").c_str()), Lzma86Of(made.Xml));
    }
    void ExpectInstalled(const std::vector<ClientFile>& files)
    {
        for (const ClientFile& file : files)
        {
            EXPECT_TRUE(Files.IsFile(Installed(file.Name))) << file.Name;
            EXPECT_TRUE(ReadFileBytes(FsPath(Installed(file.Name))) == file.Bytes) << file.Name << " differs";
        }
        std::vector<xWString> temporary;
        Files.FindFilesRecursive(temporary, Publish(), u"*.td", true, false);
        EXPECT_TRUE(temporary.empty()) << "a temporary file was left behind";
    }
    // Runs one update and checks how it ended: 0 and Done, or -1 and Failed.
    void ExpectUpdate(bool whole, const PackageJob& job)
    {
        EXPECT_EQ(whole ? 0 : -1, PackageUpdateThread(job));
        EXPECT_EQ(whole ? PackageUpdateDone : PackageUpdateFailed, PackageUpdateState.load());
    }
    void ExpectUpdate(bool whole) { ExpectUpdate(whole, Job()); }
    // How many requests since the last call start with `start` (then the record is cleared).
    size_t Asked(const std::string& start) { return Count(DevServerRequests(true), start); }
    static size_t Count(const std::vector<std::string>& requests, const std::string& start)
    {
        return static_cast<size_t>(std::count_if(
            requests.begin(), requests.end(), [&](const std::string& r) { return r.rfind(start, 0) == 0; }));
    }
    std::string GetPackage() const { return "GET " + Path("StartupT.pkg"); }
    size_t Errors(const std::string& start) const { return Log.MessagesStartingWith("E " + start).size(); }
};

std::vector<ClientFile> SampleClient()
{
    std::string text;
    for (int i = 0; i < 300; ++i)
        text += "line " + std::to_string(i) + " of the client's settings\n";
    return {{"game.exe", PatternBytes(3000, 1u), true},
            {"data/a/b/deep.dat", PatternBytes(5000, 2u), false},
            {"\xE6\x95\xB0\xE6\x8D\xAE/readme.txt", text, true},
            {"empty.bin", "", false}};
}

// `count` stored files of `each` bytes under `folder`/, so that the package is
// their bytes back to back.
std::vector<ClientFile> StoredClient(const std::string& folder, size_t count, size_t each, uint32_t seed)
{
    std::vector<ClientFile> client;
    for (size_t i = 0; i < count; ++i)
        client.push_back({folder + "/f" + std::to_string(i) + ".dat",
                          PatternBytes(each, seed + static_cast<uint32_t>(i)), false});
    return client;
}

// The byte ranges of the recorded GETs of `path`, in order ("bytes=S-E").
std::vector<std::pair<uint64_t, uint64_t>> RangesAsked(const std::vector<std::string>& requests,
                                                       const std::string& path)
{
    std::vector<std::pair<uint64_t, uint64_t>> ranges;
    const std::string start = "GET " + path + " HTTP/1.1 Range: bytes=";
    for (const std::string& line : requests)
    {
        unsigned long long first = 0;
        unsigned long long last = 0;
        if (line.rfind(start, 0) == 0 &&
            std::sscanf(line.c_str() + start.size(), "%llu-%llu", &first, &last) == 2)
            ranges.emplace_back(first, last);
    }
    return ranges;
}

std::string Std(const xString& text)
{
    return std::string(text.c_str(), text.Length());
}
} // namespace

TEST_F(PackageWorkerTest, FreshClientComesWholeAndAgainOnlyTheManifest)
{
    const std::vector<ClientFile> client = SampleClient();
    const TestPackage made = MakePackage(client);
    Serve(made);

    ExpectUpdate(true);
    ExpectInstalled(client);
    EXPECT_TRUE(FullDownloadDone.load());
    EXPECT_FALSE(PartialDownloadDone.load());
    EXPECT_EQ(made.Package.size(), PackageBytesNeeded.load()) << "every file was stale";
    EXPECT_EQ(made.Package.size(), PackageBytesReceived.load());
    EXPECT_GT(CrcEndTime.load(), 0.0);
    EXPECT_GT(DownloadSpeed.load(), 0.0);

    // Up to date: only the manifest is asked for, and the former need stays.
    DevServerRequests(true);
    PackageBytesNeeded = 12345;
    ExpectUpdate(true);
    const std::vector<std::string> again = DevServerRequests(true);
    EXPECT_EQ(0u, Count(again, GetPackage()));
    EXPECT_EQ(1u, Count(again, "GET " + Path("StartupT.crc")));
    EXPECT_EQ(12345u, PackageBytesNeeded.load());

    // A package that still verifies is unpacked again without a transfer.
    ASSERT_TRUE(Files.DeleteDirectory(Publish()));
    ExpectUpdate(true);
    EXPECT_EQ(0u, Asked(GetPackage()));
    ExpectInstalled(client);

    // A missing empty file needs no bytes, but is made again, without a request.
    ResetPackageProgress();
    ASSERT_TRUE(Files.DeleteFile(Installed("empty.bin")));
    ExpectUpdate(true);
    EXPECT_TRUE(PartialDownloadDone.load());
    EXPECT_EQ(0u, Asked(GetPackage()));
    ExpectInstalled(client);

    // The installed client counts as final: not even the manifest is asked for.
    PackageJob local = Job();
    local.LocalMode = true;
    ResetPackageProgress();
    ExpectUpdate(true, local);
    EXPECT_TRUE(DevServerRequests(true).empty());
}

TEST_F(PackageWorkerTest, HalfStaleGoesByExactRangesAndMoreThanHalfFetchesTheWhole)
{
    // 100 bytes of data: 50 + 49 + 1.
    const std::vector<ClientFile> client = {{"half.dat", PatternBytes(50, 3u), false},
                                            {"deep/er/most.dat", PatternBytes(49, 4u), false},
                                            {"one.dat", PatternBytes(1, 5u), false}};
    Serve(MakePackage(client));
    ExpectUpdate(true);
    DevServerRequests(true);

    // Exactly half stale: the one range, whatever else is on disk.
    ResetPackageProgress();
    Put(Installed("half.dat"), "stale");
    ExpectUpdate(true);
    EXPECT_EQ(1u, Asked(GetPackage() + " HTTP/1.1 Range: bytes=0-49")) << "and no other package request";
    EXPECT_TRUE(PartialDownloadDone.load());
    EXPECT_FALSE(FullDownloadDone.load());
    ExpectInstalled(client);

    // Every missing folder level is made again.
    ASSERT_TRUE(Files.DeleteDirectory(Publish() + u"deep/"));
    ExpectUpdate(true);
    EXPECT_EQ(1u, Asked(GetPackage() + " HTTP/1.1 Range: bytes=50-98"));
    ExpectInstalled(client);

    // One byte more than half: the whole package, no ranges (the package of the
    // first update still verifies, so it is only unpacked again).
    ResetPackageProgress();
    Put(Installed("half.dat"), "stale");
    ASSERT_TRUE(Files.DeleteFile(Installed("one.dat")));
    ExpectUpdate(true);
    EXPECT_EQ(0u, Asked(GetPackage()));
    EXPECT_TRUE(FullDownloadDone.load());
    EXPECT_EQ(51u, PackageBytesNeeded.load());
    ExpectInstalled(client);
}

// What a killed update leaves (Tests/Module/PackageUpdateKillTests.cpp kills
// real ones): the temporary file of a file that was right already, and an
// unfinished package. The next run that completes, by either way or with
// nothing to fetch, removes them, but never a client file named like one.
TEST_F(PackageWorkerTest, CompletedUpdateLeavesNoTemporaryFileOfAKilledOne)
{
    const std::vector<ClientFile> client = {{"big.dat", PatternBytes(80, 6u), false},
                                            {"deep/small.dat", PatternBytes(20, 7u), false},
                                            {"kept.dat", PatternBytes(5, 8u), false},
                                            {"kept.dat.td", PatternBytes(6, 9u), false}};
    Serve(MakePackage(client));
    ExpectUpdate(true);
    struct Case
    {
        const char* What;
        const char* Stale; // a file made stale first, or none
    };
    const Case cases[] = {
        {"nothing to fetch", nullptr}, {"the partial way", "deep/small.dat"}, {"the full way", "big.dat"}};
    for (const Case& c : cases)
    {
        if (c.Stale != nullptr)
            Put(Installed(c.Stale), "stale");
        Put(Installed("big.dat.td"), "half of a rewrite");
        Put(Installed("deep/small.dat.td"), "half");
        Put(Out("StartupT.pkg.td"), "the package's first bytes");
        Put(Out("StartupT.crc.td"), "");
        ExpectUpdate(true);
        for (const ClientFile& file : client)
            EXPECT_EQ(file.Bytes, ReadFileBytes(FsPath(Installed(file.Name)))) << c.What << ": " << file.Name;
        EXPECT_FALSE(OutExists("StartupT.pkg.td")) << c.What;
        EXPECT_FALSE(OutExists("StartupT.crc.td")) << c.What;
        std::vector<xWString> temporary;
        Files.FindFilesRecursive(temporary, Publish(), u"*.td", true, false);
        EXPECT_EQ(1u, temporary.size()) << c.What << ": only the client's own kept.dat.td";
    }
}

TEST_F(PackageWorkerTest, HostileManifestWritesNothingOutsideThePublishFolder)
{
    // ok.txt holds most of the data, so the first update takes the full way.
    const std::vector<ClientFile> client = {{"ok.txt", PatternBytes(100, 9u), false}};
    std::string hostile;
    for (const char* name : {"../escape.txt", "/abs.txt", "C:/drive.txt", "a:b.txt", "sub/../../up.txt",
                             "sub\\..\\..\\back.txt", "NUL.txt", "trail./x.txt"})
        hostile += FileElement(name, "fine", 0, 4, false);
    hostile += FileElement(std::string(1100, 'n'), "fine", 0, 4, false);
    // Data past the package's end, stored and packed: these files cannot be made.
    hostile += FileElement("past.bin", "abcd", 1000000, 4, false);
    hostile += FileElement("longer.bin", std::string(400, 'l'), 0, 4, false);
    Serve(MakePackage(client, hostile));

    ExpectUpdate(false);
    ExpectInstalled(client);
    EXPECT_EQ(9u, Errors("Manifest entry skipped, its name does not stay"));
    EXPECT_EQ(1u, Errors("Manifest entry past.bin reaches past the package's end"));
    EXPECT_EQ(1u, Errors("Manifest entry longer.bin reaches past the package's end"));
    EXPECT_EQ(1u, Errors("2 client files stay stale")) << "unsafe names are refused, not counted";
    EXPECT_EQ(1u, Errors("Package update failed: the full way"));

    // The same two entries by ranges: nothing fetched past the data is written.
    ExpectUpdate(false);
    EXPECT_FALSE(PartialDownloadDone.load());
    EXPECT_EQ(1u, Errors("past.bin could not be fetched"));
    EXPECT_EQ(1u, Errors("Manifest entry longer.bin is larger than its package data"));
    EXPECT_EQ(1u, Errors("Package update failed: the partial way"));
    ExpectInstalled(client);
    EXPECT_FALSE(Files.IsFile(Installed("past.bin")));
    EXPECT_FALSE(Files.IsFile(Installed("longer.bin")));
    EXPECT_FALSE(Files.IsFile(OutFolder() + u"escape.txt"));
    EXPECT_FALSE(Files.IsFile(Server->Root + u"up.txt"));
    EXPECT_FALSE(Files.IsFile(Server->Root + u"escape.txt"));
}

TEST_F(PackageWorkerTest, FullWayFailsOnlyWhenAFileStaysStale)
{
    // packed.txt's data is pad.bin, no container, so it is never written from
    // the package; big.dat makes each update take the full way.
    const std::string text = "what the client needs";
    Serve(MakePackage({{"big.dat", PatternBytes(1000, 10u), false}, {"pad.bin", "no container", false}},
                      FileElement("packed.txt", text, 1000, 12, true)));
    ExpectUpdate(false);
    EXPECT_EQ(1u, Errors("Unpacking packed.txt failed"));
    EXPECT_EQ(1u, Errors("1 client files stay stale"));

    // The file that cannot be written is right already: the client is whole.
    Put(Installed("packed.txt"), text);
    ASSERT_TRUE(Files.DeleteFile(Installed("big.dat")));
    ExpectUpdate(true);
    EXPECT_TRUE(FullDownloadDone.load());
    EXPECT_EQ(2u, Errors("Unpacking packed.txt failed"));
}

TEST_F(PackageWorkerTest, FullWayWritesTheSameWithAnyNumberOfDecoders)
{
    // Packed and stored files of varied sizes in a few folders; names that clash
    // (one twice, one file's name another's folder) must come out as one decoder
    // writes them: the later "twice.dat" wins, "clash/in.dat" finds a file where
    // its folder should be.
    std::vector<ClientFile> client;
    for (uint32_t i = 0; i < 24; ++i)
    {
        const std::string name = "set" + std::to_string(i % 3) + "/file" + std::to_string(i) + ".dat";
        std::string bytes = PatternBytes(1000 + 7000 * (i % 6), 20u + i);
        if (i % 2 == 0)
            bytes = std::string(bytes.size(), static_cast<char>('a' + i % 26)) + bytes.substr(0, 100);
        client.push_back({name, bytes, i % 2 == 0});
    }
    // Large and packed: a second decoder would reach the next entry long before it is done.
    client.push_back({"clash", PatternBytes(300000, 50u), true});
    std::vector<ClientFile> expected = client;
    client.push_back({"clash/in.dat", "no folder for it", false});
    client.push_back({"twice.dat", "first", false});
    client.push_back({"twice.dat", PatternBytes(3000, 40u), true});
    expected.push_back(client.back());
    // broken.txt's container is cut short; past.bin's data lies past the package's end.
    const std::string text(5000, 't');
    const std::string container = Lzma86Of(text);
    const size_t offset = MakePackage(client).Package.size();
    client.push_back({"pad.bin", container.substr(0, container.size() / 2), false});
    std::string hostile = FileElement("broken.txt", text, offset, container.size() / 2, true);
    hostile += FileElement("past.bin", "abcd", 1000000, 4, false);
    Serve(MakePackage(client, hostile));
    expected.push_back(client.back());
    // A first update fetches the package; the ones compared only unpack it.
    ExpectUpdate(false);
    DevServerRequests(true);

    std::vector<std::string> oneDecoder;
    for (int decoders : {1, 2, 4})
    {
        SCOPED_TRACE(std::to_string(decoders) + " decoders");
        ASSERT_TRUE(Files.DeleteDirectory(Publish()));
        SetPackageDecoderCount(decoders);
        EXPECT_EQ(decoders, GetPackageDecoderCount());
        const size_t from = Log.Messages().size();
        ExpectUpdate(false);
        ExpectInstalled(expected);
        EXPECT_FALSE(Files.IsFile(Installed("broken.txt")));
        EXPECT_FALSE(Files.IsFile(Installed("past.bin")));
        EXPECT_FALSE(Files.IsDirectory(Installed("clash/")));
        EXPECT_EQ(0u, Asked(GetPackage()));

        std::vector<std::string> lines = Log.Messages(from);
        std::sort(lines.begin(), lines.end());
        // The cut stream fails, and comes out short.
        const std::pair<std::string, int> errors[] = {
            {"E Unpacking broken.txt failed; the file stays as it was", 1},
            {"E Failed to Lzma86_Decode", 2},
            {"E Manifest entry past.bin reaches past the package's end; skipped", 1},
            {"E Cannot create " + std::string(WideToUtf8(Installed("clash/in.dat.td")).c_str()), 1},
            {"E 3 client files stay stale", 1}};
        for (const auto& [line, count] : errors)
            EXPECT_EQ(count, std::count(lines.begin(), lines.end(), line)) << line;
        if (decoders == 1)
            oneDecoder = lines;
        else
            EXPECT_EQ(oneDecoder, lines) << "the same lines as with one decoder";
    }
}

TEST_F(PackageWorkerTest, FullWayWritesFilesWhileThePackageArrivesButOnlyRightOnes)
{
    // Eight files of 40000 bytes, every other one packed, over 64 KiB chunks
    // that come slowly: the first file is whole long before the last byte.
    std::vector<ClientFile> client;
    for (uint32_t i = 0; i < 8; ++i)
        client.push_back({"early/f" + std::to_string(i) + ".dat", PatternBytes(40000, 60u + i), i % 2 == 1});
    const TestPackage made = MakePackage(client);
    Serve(made);
    const std::string slow = "delay-ms=60&for-path=StartupT.pkg";
    const std::string corrupted = client[2].Name; // stored, so its data is its bytes
    struct OverlapCase
    {
        const char* What;
        std::string Faults;
        bool Whole;
        size_t Gets;
        std::vector<std::string> Errors; // each exactly once
    };
    const OverlapCase cases[] = {
        {"a slow package", slow, true, 1, {}},
        {"a file's bytes corrupted in the first transfer",
         slow + "&times=1&corrupt-at=" + std::to_string(made.Starts[2] + 100),
         true,
         2,
         {corrupted + " did not match its checksum while the package arrived",
          "Package " + Url("StartupT.pkg") + " did not verify; fetching it again"}},
        {"a package that never verifies",
         slow + "&corrupt-at=" + std::to_string(made.Starts[4] + 100),
         false,
         static_cast<size_t>(GetPackageRetryPolicy().PackageAttempts),
         {client[4].Name + " did not match its checksum while the package arrived",
          "Package " + Url("StartupT.pkg") + " did not verify after"}},
    };
    for (const OverlapCase& c : cases)
    {
        SCOPED_TRACE(c.What);
        Files.DeleteDirectory(Publish());
        Files.DeleteFile(Out("StartupT.pkg"));
        // An old file of the corrupted one's name must never give way to wrong bytes.
        Put(Installed(corrupted), "old");
        DevServerRequests(true);
        ASSERT_TRUE(SetDevServerFaults(c.Faults));
        const size_t from = Log.Messages().size();

        // Watches the client files while the update runs: any wrong bytes, and
        // a right file seen before the package is in place (files first, then
        // the package, so the file was there first). A file is read until it
        // is seen right, and what cannot be opened (being replaced) is skipped:
        // on Windows an open file cannot be replaced.
        std::atomic<bool> running{true};
        bool seenEarly = false;
        std::string seenWrong;
        std::vector<bool> seenRight(client.size(), false);
        std::thread watcher(
            [&]
            {
                while (running)
                {
                    for (size_t i = 0; i < client.size(); ++i)
                    {
                        if (seenRight[i] || !Files.IsFile(Installed(client[i].Name)))
                            continue;
                        std::ifstream in(FsPath(Installed(client[i].Name)), std::ios::binary);
                        const std::string bytes{std::istreambuf_iterator<char>(in),
                                                std::istreambuf_iterator<char>()};
                        if (!in.is_open() || in.bad())
                            continue;
                        seenRight[i] = bytes == client[i].Bytes;
                        if (!seenRight[i] && !(client[i].Name == corrupted && bytes == "old"))
                            seenWrong = client[i].Name + " (" + std::to_string(bytes.size()) + " bytes)";
                    }
                    const bool right = std::find(seenRight.begin(), seenRight.end(), true) != seenRight.end();
                    seenEarly = seenEarly || (right && !Files.IsFile(Out("StartupT.pkg")));
                    std::this_thread::sleep_for(std::chrono::milliseconds(3));
                }
            });
        ExpectUpdate(c.Whole);
        running = false;
        watcher.join();
        EXPECT_TRUE(seenEarly) << "no file was in place before the package";
        EXPECT_EQ("", seenWrong) << "a file held wrong bytes";
        EXPECT_EQ(c.Gets, Asked(GetPackage()));
        for (const std::string& error : c.Errors)
            EXPECT_EQ(1u, Errors(error)) << error;
        const std::vector<std::string> lines = Log.Messages(from);
        const auto isError = [](const std::string& line) { return line.rfind("E ", 0) == 0; };
        if (c.Whole)
        {
            EXPECT_EQ(c.Errors.size(),
                      static_cast<size_t>(std::count_if(lines.begin(), lines.end(), isError)))
                << "no other error line";
            ExpectInstalled(client);
        }
        else
        {
            EXPECT_EQ(client[0].Bytes, ReadFileBytes(FsPath(Installed(client[0].Name))))
                << "what arrived whole in the first transfer is in place";
        }
        if (c.Faults != slow)
            continue;
        // The same lines as a fetch too quick to leave the decoders anything to
        // do early (the package is in place again, so it is fetched anew).
        std::vector<std::string> overlapped = lines;
        Files.DeleteDirectory(Publish());
        Files.DeleteFile(Out("StartupT.pkg"));
        Put(Installed(corrupted), "old");
        ASSERT_TRUE(SetDevServerFaults(""));
        const size_t quick = Log.Messages().size();
        ExpectUpdate(true);
        std::vector<std::string> plain = Log.Messages(quick);
        std::sort(overlapped.begin(), overlapped.end());
        std::sort(plain.begin(), plain.end());
        EXPECT_EQ(plain, overlapped);
    }
}

TEST_F(PackageWorkerTest, FailingServerIsAskedAgainThenGivenUp)
{
    // b.dat's data is less than half of the package: alone it goes by range.
    const std::vector<ClientFile> client = {{"a.dat", PatternBytes(300000, 6u), false},
                                            {"b.dat", PatternBytes(500, 7u), true}};
    Serve(MakePackage(client));
    ASSERT_TRUE(SetDevServerFaults("drop-after=70000&for-path=StartupT.pkg&times=2"));
    ExpectUpdate(true);
    EXPECT_EQ(3u, Asked(GetPackage())) << "a dropped package transfer is fetched again";
    ExpectInstalled(client);

    // A short range is asked again and never written; a file left stale fails the update.
    Put(Installed("b.dat"), "old");
    ASSERT_TRUE(SetDevServerFaults("drop-after=10&for-path=StartupT.pkg"));
    ExpectUpdate(false);
    EXPECT_EQ(3u, Asked(GetPackage()));
    EXPECT_EQ("old", ReadFileBytes(FsPath(Installed("b.dat"))));
    EXPECT_EQ(3u, Errors("Range of b.dat came back short"));
    EXPECT_EQ(1u, Errors("b.dat could not be fetched"));
    EXPECT_EQ(1u, Errors("1 client files stay stale"));
    EXPECT_EQ(0u, PackageBytesReceived.load()) << "thrown-away bytes are no progress";

    // A server that fails once, then recovers: the second try repairs the file.
    ASSERT_TRUE(SetDevServerFaults("drop-after=10&for-path=StartupT.pkg&times=1"));
    ExpectUpdate(true);
    EXPECT_EQ(2u, Asked(GetPackage()));
    ExpectInstalled(client);

    // A package that never verifies is given up after the bound; the client stays.
    // (A transfer that keeps dropping goes on from its bytes on disk, so it is
    // wrong bytes that never verify.)
    ASSERT_TRUE(Files.DeleteDirectory(Publish()));
    ASSERT_TRUE(Files.DeleteFile(Out("StartupT.pkg")));
    ASSERT_TRUE(SetDevServerFaults("corrupt-at=100&for-path=StartupT.pkg"));
    ExpectUpdate(false);
    EXPECT_EQ(static_cast<size_t>(GetPackageRetryPolicy().PackageAttempts), Asked(GetPackage()));
    EXPECT_EQ(1u, Errors("Package " + Url("StartupT.pkg") + " did not verify after"));
    EXPECT_FALSE(Files.IsFile(Installed("a.dat")));
}

TEST_F(PackageWorkerTest, UnreadableManifestIsFetchedAgainThenTheUpdateFails)
{
    Put(ServedFolder() + u"StartupT.crc", "not a container");
    ExpectUpdate(false);
    EXPECT_EQ(3u, Asked("GET " + Path("StartupT.crc")));
    EXPECT_EQ(1u, Errors("Package update failed: no readable manifest"));

    // No manifest at all: asked for again, then the update fails (nothing says
    // whether the client is whole).
    ASSERT_TRUE(Files.DeleteFile(Out("StartupT.crc")));
    ASSERT_TRUE(Files.DeleteFile(ServedFolder() + u"StartupT.crc"));
    ExpectUpdate(false);
    EXPECT_EQ(3u, Asked("HEAD " + Path("StartupT.crc")));
    EXPECT_EQ(3u, Errors("Manifest " + Url("StartupT.crc") + " could not be fetched"));
}

TEST_F(PackageWorkerTest, OneWorkerAtATimeAndAnotherVersionRunsAfterIt)
{
    const std::vector<ClientFile> second = {{"v.txt", "second", false}};
    Serve(MakePackage({{"v.txt", "first", false}}), "1");
    Serve(MakePackage(second), "2");
    PackageWorkerThread& worker = ThePackageWorker();
    using Outcome = PackageWorkerThread::Outcome;

    // Held: kept, not started, until released.
    worker.Hold();
    EXPECT_EQ(Outcome::Queued, worker.Run(Job("1")));
    EXPECT_FALSE(worker.IsBusy());
    EXPECT_TRUE(DevServerRequests(true).empty());

    // The manifest of version 1 comes slowly, so the later requests meet a running worker.
    ASSERT_TRUE(SetDevServerFaults("delay-ms=300&for-path=Startup1.crc"));
    worker.Release();
    EXPECT_TRUE(worker.IsBusy());
    EXPECT_EQ(Outcome::AlreadyRunning, worker.Run(Job("1")));
    EXPECT_EQ(Outcome::Queued, worker.Run(Job("2")));
    ASSERT_TRUE(worker.WaitUntilIdle(std::chrono::seconds(60)));
    EXPECT_EQ(0, worker.LastResult());
    ExpectInstalled(second);

    // Version 2's requests all come after version 1's, each manifest once.
    const std::vector<std::string> asked = DevServerRequests(true);
    const auto firstOfSecond =
        std::find_if(asked.begin(), asked.end(),
                     [](const std::string& r) { return r.find("Startup2.") != std::string::npos; });
    EXPECT_EQ(asked.end(),
              std::find_if(firstOfSecond, asked.end(),
                           [](const std::string& r) { return r.find("Startup1.") != std::string::npos; }));
    EXPECT_EQ(1u, Count(asked, "GET " + Path("Startup1.crc")));
    EXPECT_EQ(1u, Count(asked, "GET " + Path("Startup2.crc")));

    // An update that has given up, though its thread has not ended yet, does not
    // swallow a new request for its version: that one runs again.
    ASSERT_TRUE(SetDevServerFaults("delay-ms=300&for-path=Startup1.crc"));
    EXPECT_EQ(Outcome::Started, worker.Run(Job("1")));
    PackageUpdateState = PackageUpdateFailed;
    EXPECT_EQ(Outcome::Queued, worker.Run(Job("1")));
    ASSERT_TRUE(worker.WaitUntilIdle(std::chrono::seconds(60)));
    EXPECT_EQ(2u, Asked("GET " + Path("Startup1.crc")));
}

namespace
{
// One package request as a server saw it.
struct PackageRequest
{
    bool Head = false;
    uint64_t First = 0; // the Range asked for, first and last byte
    uint64_t Last = 0;
    std::string Connection; // what tells the server's connections apart
    uint64_t Sent = 0;      // body bytes
};

// "METHOD TARGET VERSION[ Range: bytes=A-B] peer PORT" lines of the dev server's record.
std::vector<PackageRequest> FromDevServer(const std::vector<std::string>& lines, const std::string& path)
{
    std::vector<PackageRequest> found;
    for (const std::string& line : lines)
    {
        const bool head = line.rfind("HEAD " + path + " ", 0) == 0;
        if (!head && line.rfind("GET " + path + " ", 0) != 0)
            continue;
        PackageRequest request;
        request.Head = head;
        request.Connection = line.substr(line.rfind(" peer ") + 6);
        const size_t range = line.find("Range: bytes=");
        if (range != std::string::npos)
            std::sscanf(line.c_str() + range, "Range: bytes=%" SCNu64 "-%" SCNu64, &request.First,
                        &request.Last);
        // The dev server answers a range with exactly its bytes.
        request.Sent = head ? 0 : request.Last + 1 - request.First;
        found.push_back(request);
    }
    return found;
}

// "$connection|$request|$http_range|$status|$body_bytes_sent" lines of nginx's traffic log.
std::vector<PackageRequest> FromNginx(const std::vector<std::string>& lines, const std::string& path)
{
    std::vector<PackageRequest> found;
    for (const std::string& line : lines)
    {
        std::vector<std::string> fields;
        for (size_t at = 0, bar; at <= line.size(); at = bar + 1)
        {
            bar = std::min(line.find('|', at), line.size());
            fields.push_back(line.substr(at, bar - at));
        }
        if (fields.size() != 5)
            continue;
        const bool head = fields[1].rfind("HEAD " + path + " ", 0) == 0;
        if (!head && fields[1].rfind("GET " + path + " ", 0) != 0)
            continue;
        PackageRequest made;
        made.Head = head;
        made.Connection = fields[0];
        std::sscanf(fields[2].c_str(), "bytes=%" SCNu64 "-%" SCNu64, &made.First, &made.Last);
        made.Sent = std::strtoull(fields[4].c_str(), nullptr, 10);
        found.push_back(made);
    }
    return found;
}

// The partial way's requests: a client of stored files (some packed), some of
// them stale; each case says how many ranged GETs it takes.
struct SpanCase
{
    const char* What;
    std::vector<size_t> Sizes;
    std::vector<size_t> Stale;
    std::vector<size_t> Packed;
    const char* Faults; // dev server only; "" for none
    size_t Gets;
    int RetryFrom; // the file whose data the second GET starts with; -1: not checked
};

const SpanCase SpanCases[] = {
    {"small gaps and adjacent files share one request",
     {20000, 300, 20000, 300, 20000, 20000, 300, 20000, 500},
     {0, 2, 4, 5, 7},
     {4},
     "",
     1,
     -1},
    {"far apart files go alone", {5000, 100000, 5000, 100000, 5000}, {0, 2, 4}, {2}, "", 3, -1},
    {"near ones share, far ones not",
     {5000, 200, 5000, 100000, 5000, 200, 5000},
     {0, 2, 4, 6},
     {},
     "",
     2,
     -1},
    {"a gap the 5% budget cannot pay stays", {1000, 3000, 1000}, {0, 2}, {}, "", 2, -1},
    {"a server ignoring ranges is read on from its one answer",
     {5000, 200, 5000, 100000, 5000, 200, 5000},
     {0, 2, 4, 6},
     {2},
     "ignore-range=1",
     1,
     -1},
    {"a short answer keeps the files that came whole and asks for the rest",
     {20000, 300, 20000, 300, 20000, 300, 20000},
     {0, 2, 4, 6},
     {},
     "drop-after=50000&for-path=.pkg&times=1",
     2,
     4},
};

std::vector<std::string> LinesFrom(const std::vector<std::string>& lines, size_t first)
{
    return std::vector<std::string>(
        lines.begin() + static_cast<std::ptrdiff_t>(std::min(first, lines.size())), lines.end());
}
} // namespace

// The partial way against each server.
class PartialWayTest : public PackageWorkerTest, public ::testing::WithParamInterface<PeerKind>
{
protected:
    PeerKind Peer() const override { return GetParam(); }
    // nginx's log of connections and byte counts, beside its access log.
    xWString TrafficLog() const
    {
        return Server->AccessLog.IsEmpty() ? xWString() : GetParentPath(Server->AccessLog) + u"traffic.log";
    }
};

INSTANTIATE_TEST_SUITE_P(Peers, PartialWayTest, ::testing::ValuesIn(PeersToTest()),
                         [](const ::testing::TestParamInfo<PeerKind>& info) { return PeerName(info.param); });

TEST_P(PartialWayTest, NeighboursShareRequestsOverOneConnection)
{
    const bool dev = GetParam() == PeerKind::DevServer;
    int index = 0;
    for (const SpanCase& c : SpanCases)
    {
        const std::string version = std::to_string(index++);
        if (!dev && c.Faults[0] != 0)
            continue;
        SCOPED_TRACE(c.What);
        std::vector<ClientFile> client;
        for (size_t i = 0; i < c.Sizes.size(); ++i)
        {
            const bool packed = std::find(c.Packed.begin(), c.Packed.end(), i) != c.Packed.end();
            client.push_back({"v" + version + "/f" + std::to_string(i) + ".dat",
                              PatternBytes(c.Sizes[i], static_cast<uint32_t>(i + 20)), packed});
        }
        // Fresh ballast at the end keeps the stale share under half: the partial way.
        client.push_back({"v" + version + "/ballast.dat", PatternBytes(250000, 19), false});
        const TestPackage made = MakePackage(client);
        Serve(made, version);
        uint64_t stale = 0;
        for (size_t i = 0; i < client.size(); ++i)
        {
            const bool isStale = std::find(c.Stale.begin(), c.Stale.end(), i) != c.Stale.end();
            Put(Installed(client[i].Name), isStale ? "stale" : client[i].Bytes);
            const size_t end = i + 1 < client.size() ? made.Starts[i + 1] : made.Package.size();
            stale += isStale ? end - made.Starts[i] : 0;
        }
        const size_t logged = TrafficLog().IsEmpty() ? 0 : ReadFileLines(FsPath(TrafficLog())).size();
        ResetPackageProgress();
        if (dev)
        {
            DevServerRequests(true);
            ASSERT_TRUE(SetDevServerFaults(c.Faults));
        }

        ExpectUpdate(true, Job(version));
        EXPECT_TRUE(PartialDownloadDone.load());
        ExpectInstalled(client);
        EXPECT_EQ(stale, PackageBytesNeeded.load());
        EXPECT_EQ(stale, PackageBytesReceived.load()) << "gap bytes and thrown-away bytes are no progress";

        const std::string path = Path("Startup" + version + ".pkg");
        std::vector<PackageRequest> asked;
        if (dev)
            asked = FromDevServer(DevServerRequests(true, true), path);
        else if (!TrafficLog().IsEmpty())
            asked = FromNginx(LinesFrom(ReadFileLines(FsPath(TrafficLog())), logged), path);
        else
            continue; // nginx named without its logs: the files above are all there is to check
        std::vector<PackageRequest> gets;
        std::copy_if(asked.begin(), asked.end(), std::back_inserter(gets),
                     [](const PackageRequest& r) { return !r.Head; });
        EXPECT_EQ(1u, asked.size() - gets.size()) << "one HEAD for the whole run";
        ASSERT_EQ(c.Gets, gets.size());
        uint64_t sent = 0;
        for (const PackageRequest& get : gets)
            sent += get.Sent;
        if (c.Faults[0] == 0)
        {
            for (const PackageRequest& get : gets)
                EXPECT_EQ(gets.front().Connection, get.Connection) << "all ranges over one connection";
            EXPECT_LE(sent * 100, stale * 105) << "the gaps cost at most 5% more bytes";
        }
        if (c.RetryFrom >= 0)
        {
            EXPECT_EQ(made.Starts[static_cast<size_t>(c.RetryFrom)], gets[1].First)
                << "asked again from the first file that did not come whole";
            EXPECT_EQ(gets[0].Last, gets[1].Last);
        }
    }
}

TEST_F(PackageWorkerTest, CutPackageTransferGoesOnFromTheBytesOnDisk)
{
    const std::vector<ClientFile> client = StoredClient("cut", 4, 600000, 80u);
    const TestPackage made = MakePackage(client);
    Serve(made);
    const uint64_t size = made.Package.size();
    const uint64_t cut = size * 9 / 10;
    ASSERT_TRUE(SetDevServerFaults("drop-after=" + std::to_string(cut) + "&for-path=StartupT.pkg&times=1"));
    ExpectUpdate(true);
    ExpectInstalled(client);
    EXPECT_EQ(size, PackageBytesReceived.load()) << "resumed bytes count as received";
    EXPECT_LE(DevServerBytesSent("StartupT.pkg") * 100, size * 115) << "at most 1.15 times the package";
    const std::vector<std::pair<uint64_t, uint64_t>> gets =
        RangesAsked(DevServerRequests(true), Path("StartupT.pkg"));
    ASSERT_EQ(2u, gets.size());
    EXPECT_EQ(0u, gets[0].first);
    // WinINet may have handed over less than the server sent before the drop.
    EXPECT_LE(gets[1].first, cut);
    EXPECT_GE(gets[1].first, size * 8 / 10);
    EXPECT_EQ(size - 1, gets[1].second);
    EXPECT_EQ(1u, Log.MessagesStartingWith("resuming StartupT.pkg at byte " + std::to_string(gets[1].first) +
                                           " of " + std::to_string(size))
                      .size());
    EXPECT_FALSE(Files.IsFile(ResumeRecordPath("StartupT.pkg")))
        << "the record goes with the finished transfer";
}

TEST_F(PackageWorkerTest, ResumedPackageWritesEarlyOnlyFilesThatMatchTheirOwnChecksums)
{
    // The bytes on disk are taken on trust until the package verifies: the early
    // writer checks each file of the prefix by its own checksum.
    const std::vector<ClientFile> client = StoredClient("resumed", 4, 200000, 90u);
    const TestPackage made = MakePackage(client);
    Serve(made);
    const uint64_t size = made.Package.size();
    const uint64_t onDisk = made.Starts[2] + 1000; // f0 and f1 whole
    struct Case
    {
        const char* What;
        bool Wrong; // a byte of f1 on disk is wrong
        std::vector<uint64_t> Firsts;
        std::vector<std::string> Errors; // each exactly once, and no other
    };
    const Case cases[] = {
        {"right bytes on disk", false, {onDisk}, {}},
        {"a wrong byte on disk",
         true,
         {onDisk, 0},
         {client[1].Name + " did not match its checksum while the package arrived",
          "Package " + Url("StartupT.pkg") + " did not verify; fetching it again"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        Files.DeleteDirectory(Publish());
        Files.DeleteFile(Out("StartupT.pkg"));
        std::string prefix = made.Package.substr(0, onDisk);
        if (c.Wrong)
            prefix[made.Starts[1] + 10] ^= 0x55;
        Put(Out("StartupT.pkg.td"), prefix + std::string(size - onDisk, '\0'));
        Put(ResumeRecordPath("StartupT.pkg"), Std(MakeResumeRecord({size, "", onDisk})));
        DevServerRequests(true);
        const size_t from = Log.Messages().size();
        ExpectUpdate(true);
        ExpectInstalled(client);
        std::vector<uint64_t> firsts;
        for (const auto& range : RangesAsked(DevServerRequests(true), Path("StartupT.pkg")))
            firsts.push_back(range.first);
        EXPECT_EQ(c.Firsts, firsts);
        for (const std::string& error : c.Errors)
            EXPECT_EQ(1u, Errors(error)) << error;
        const std::vector<std::string> lines = Log.Messages(from);
        EXPECT_EQ(c.Errors.size(), static_cast<size_t>(std::count_if(lines.begin(), lines.end(),
                                                                     [](const std::string& line)
                                                                     { return line.rfind("E ", 0) == 0; })));
    }
}

#ifndef _WIN32
TEST_F(PackageWorkerTest, KilledLauncherGoesOnFromTheBytesOnDisk)
{
    // 8 MiB, the record written every MiB: a kill costs at most an eighth more.
    // One file, so that nothing is written early and the next run takes the full way again.
    const std::vector<ClientFile> client = StoredClient("killed", 1, 8 << 20, 70u);
    const TestPackage made = MakePackage(client);
    Serve(made);
    const uint64_t size = made.Package.size();
    const uint64_t stall = size * 9 / 10;
    ASSERT_TRUE(
        SetDevServerFaults("stall-after=" + std::to_string(stall) + "&for-path=StartupT.pkg&times=1"));
    ChildProcess launcher;
    ASSERT_TRUE(launcher.Start({TestBinFolder() + "InstallerProbe", "update", Url(""), "T",
                                Narrow(OutFolder()), Narrow(Publish()), Narrow(OutFolder() + u"probe.log")},
                               Narrow(OutFolder() + u"probe.err")));
    // Killed once the record holds what the stall lets through, less at most one interval.
    ResumeRecord record;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (!(LoadResumeRecord("StartupT.pkg", record) && record.Done + ResumeRecordInterval > stall) &&
           std::chrono::steady_clock::now() < deadline && launcher.Running())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(launcher.Pid(), SIGKILL);
    EXPECT_EQ(-1, launcher.Wait(5000)) << "ended by the kill";
    ASSERT_TRUE(LoadResumeRecord("StartupT.pkg", record) && record.Done + ResumeRecordInterval > stall)
        << ReadFileBytes(FsPath(OutFolder() + u"probe.log"));
    EXPECT_EQ(size, record.Size);
    EXPECT_TRUE(Files.IsFile(Out("StartupT.pkg.td")));

    ExpectUpdate(true);
    ExpectInstalled(client);
    EXPECT_LE(DevServerBytesSent("StartupT.pkg") * 100, size * 115) << "at most 1.15 times the package";
    const std::vector<std::pair<uint64_t, uint64_t>> gets =
        RangesAsked(DevServerRequests(true), Path("StartupT.pkg"));
    ASSERT_EQ(2u, gets.size());
    EXPECT_EQ(std::make_pair(record.Done, size - 1), gets[1]);
    EXPECT_EQ(1u, Log.MessagesStartingWith("resuming StartupT.pkg at byte ").size());
}
#endif

namespace
{
// A folder on a volume of 4 MiB, emptied. Natively a tmpfs mounted for the case
// (which needs root, as the test command has in CI); under Wine the one
// scripts/test.sh mounts and names in LAUNCHER_TEST_SMALL_DISK.
class SmallDisk
{
public:
    explicit SmallDisk(const xWString& mountPoint)
    {
        xEngineFileSystem files;
#ifdef _WIN32
        (void)mountPoint;
        const char* named = std::getenv("LAUNCHER_TEST_SMALL_DISK");
        if (named == nullptr || named[0] == 0)
        {
            Problem = "LAUNCHER_TEST_SMALL_DISK names no small volume";
            return;
        }
        Folder = AsDirectoryPath(LocalPathFromEnvironment(named));
        std::vector<xWString> found;
        files.FindFiles(Folder + u"*", found, true, true);
        for (const xWString& path : found)
            files.IsDirectory(path) ? files.DeleteDirectory(path) : files.DeleteFileEx(path, false, true);
#else
        if (geteuid() != 0)
        {
            Problem = "mounting a small tmpfs needs root";
            return;
        }
        Folder = mountPoint;
        files.CreateDirectories(Folder);
        if (mount("tmpfs", Narrow(Folder).c_str(), "tmpfs", 0, "size=4m,mode=0755") != 0)
        {
            Problem = "cannot mount a tmpfs on " + Narrow(Folder);
            Folder = xWString();
        }
#endif
    }
    ~SmallDisk()
    {
#ifndef _WIN32
        if (!Folder.IsEmpty())
            umount2(Narrow(Folder).c_str(), MNT_DETACH);
#endif
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    std::string Problem; // why there is none
    xWString Folder;
};
} // namespace

TEST_F(PackageWorkerTest, FullDiskStopsTheUpdateAndAFailedWriteChangesNothing)
{
    const SmallDisk disk(OutFolder() + u"small/");
    if (!disk.Problem.empty())
        GTEST_SKIP() << disk.Problem;
    const xWString small = disk.Folder;
    const size_t mebibyte = 1 << 20;
    const std::string notEnough = "Not enough disk space for the update: ";
    // The full way needs the package in the download folder, and in the publish
    // folder what the files add plus the largest of them: 1.5 MiB files three
    // times need 4.5 MiB twice plus 1.5, two 1 MiB files need 2 + 2 + 1.
    struct Case
    {
        const char* What;
        std::vector<ClientFile> Client;
        bool DownloadOnSmall;
        bool PublishOnSmall;
        std::string Error;
    };
    const Case cases[] = {
        {"a small publish folder", StoredClient("p", 3, mebibyte * 3 / 2, 10u), false, true,
         notEnough + "the publish folder " + Narrow(small) + "Publish/ needs " +
             std::to_string(mebibyte * 6)},
        {"a small download folder", StoredClient("d", 3, mebibyte * 3 / 2, 10u), true, false,
         notEnough + "the download folder " + Narrow(small) + " needs " + std::to_string(mebibyte * 9 / 2)},
        {"both on one small volume", StoredClient("b", 2, mebibyte, 10u), true, true,
         notEnough + "the volume of " + Narrow(small) + " needs " + std::to_string(mebibyte * 5)},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        ResetPackageProgress();
        Serve(MakePackage(c.Client));
        PackageJob job = Job();
        if (c.PublishOnSmall)
            job.PublishFolder = small + u"Publish/";
        SetDownloadFolder(c.DownloadOnSmall ? small : OutFolder());
        DevServerRequests(true);
        const size_t failed = Errors("Package update failed: not enough free disk space");
        ExpectUpdate(false, job);
        SetDownloadFolder(OutFolder());
        EXPECT_EQ(PackageFailureDiskFull, PackageFailureReason.load());
        EXPECT_EQ(1u, Errors(c.Error)) << c.Error;
        EXPECT_EQ(failed + 1, Errors("Package update failed: not enough free disk space"));
        const std::vector<std::string> asked = DevServerRequests(true);
        EXPECT_EQ(0u,
                  Count(asked, "GET " + Path("StartupT.pkg")) + Count(asked, "HEAD " + Path("StartupT.pkg")))
            << "nothing of the package is fetched";
        for (const ClientFile& file : c.Client)
            EXPECT_FALSE(Files.IsFile(job.PublishFolder + Utf8ToWide(file.Name.c_str())));
        Files.DeleteDirectory(small + u"Publish/");
    }

    // Old files that take no room (sparse) make the estimate short, as another
    // program filling the disk would. An old package of the right size seems to
    // need no room, but is wrong: the transfer finds the disk full, once.
    {
        const std::vector<ClientFile> client = StoredClient("dl", 3, mebibyte * 3 / 2, 30u);
        Serve(MakePackage(client));
        SetDownloadFolder(small);
        Put(small + u"StartupT.pkg", "");
        std::filesystem::resize_file(FsPath(small + u"StartupT.pkg"), client.size() * client[0].Bytes.size());
        ResetPackageProgress();
        DevServerRequests(true);
        ExpectUpdate(false);
        SetDownloadFolder(OutFolder());
        EXPECT_EQ(PackageFailureDiskFull, PackageFailureReason.load());
        EXPECT_EQ(1u, Errors("The download folder " + Narrow(small) + " is full"));
        EXPECT_EQ(1u, Asked(GetPackage())) << "a full disk is not asked again";
        Files.DeleteFile(small + u"StartupT.pkg");
        Files.DeleteFile(small + u"StartupT.pkg.td");
        Files.DeleteFile(small + u"StartupT.pkg.resume");
    }

    // In the publish folder the third file finds the disk full.
    const std::vector<ClientFile> client = StoredClient("mid", 3, mebibyte * 3 / 2, 20u);
    Serve(MakePackage(client));
    PackageJob job = Job();
    job.PublishFolder = small + u"Publish/";
    for (const ClientFile& file : client)
    {
        const xWString path = job.PublishFolder + Utf8ToWide(file.Name.c_str());
        Put(path, "");
        std::filesystem::resize_file(FsPath(path), file.Bytes.size());
    }
    SetPackageDecoderCount(1);
    ResetPackageProgress();
    ExpectUpdate(false, job);
    EXPECT_EQ(PackageFailureDiskFull, PackageFailureReason.load());
    EXPECT_EQ(1u, Errors("Writing mid/f2.dat failed: the disk is full"));
    EXPECT_EQ(1u, Errors("1 client files stay stale"));
    for (size_t i = 0; i < client.size(); ++i)
    {
        const std::string bytes =
            ReadFileBytes(FsPath(job.PublishFolder + Utf8ToWide(client[i].Name.c_str())));
        EXPECT_TRUE(bytes == (i < 2 ? client[i].Bytes : std::string(client[i].Bytes.size(), '\0')))
            << client[i].Name << (i < 2 ? " is not the new file" : " is not the file it was");
    }
    std::vector<xWString> temporary;
    Files.FindFilesRecursive(temporary, job.PublishFolder, u"*.td", true, false);
    EXPECT_TRUE(temporary.empty()) << "a temporary file was left behind";
}
