#include "EngineText.h"
#include "LauncherDownloadCase.h"

#include "PackageProgress.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <thread>
#include <tuple>
#include <utility>

namespace
{
std::string Text(const std::vector<uint8_t>& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}
} // namespace

// The same cases against every server: the dev server and nginx.
class LauncherDownloadFiles : public DownloadTestBase, public ::testing::WithParamInterface<PeerKind>
{
protected:
    void SetUp() override { StartCase(GetParam()); }
};

INSTANTIATE_TEST_SUITE_P(Peers, LauncherDownloadFiles, ::testing::ValuesIn(PeersToTest()),
                         [](const ::testing::TestParamInfo<PeerKind>& info) { return PeerName(info.param); });

TEST_P(LauncherDownloadFiles, WholeFileReplacesTheEarlierOneWithTheLogLines)
{
    // A body of several reads and an empty one.
    for (const size_t length : {2 * DownloadPieceSize + 4321, size_t(0)})
    {
        const std::string name = "whole" + std::to_string(length) + ".bin";
        const std::string bytes = PatternBytes(length);
        Serve(name, bytes);
        Put(Out(name), "earlier");
        std::atomic<uint64_t> received{77};
        std::atomic<uint64_t> size{1};
        const size_t logged = Log.Messages().size();
        DownloadFile(*Context, Url(name).c_str(), &received, &size);

        ASSERT_TRUE(OutExists(name)) << "the file did not land";
        EXPECT_TRUE(OutText(name) == bytes) << name << ": the stored bytes differ from the served ones";
        EXPECT_EQ(received.load(), length) << "received counts from 0 up to the size";
        EXPECT_EQ(size.load(), length);
        EXPECT_FALSE(OutExists(name + ".td")) << "the temporary file must become the file";
        const std::vector<std::string> expected{
            "downloading " + Url(name),
            "file size: " + std::to_string(length),
            "file created: " + name + ".td",
            "Finished BLock, start pos: 0, end pos: " + std::to_string(int64_t(length) - 1) + ".",
            "renaming " + name + ".td to " + name,
            "file : " + name + " finish."};
        EXPECT_EQ(Log.Messages(logged), expected);
    }
}

TEST_P(LauncherDownloadFiles, RangesComeFromTheirOffsets)
{
    const uint64_t size = 2 * DownloadPieceSize + 4321; // several reads
    const std::string bytes = PatternBytes(size, 2);
    Serve("ranges.bin", bytes);
    const xString url(Url("ranges.bin").c_str());
    const std::pair<uint64_t, uint64_t> cases[] = {
        {0, 10}, {1234, 5000}, {size - 7, 7}, {0, size}, {DownloadPieceSize - 100, DownloadPieceSize + 200}};
    for (const auto& [start, length] : cases)
    {
        SCOPED_TRACE("range " + std::to_string(start) + "+" + std::to_string(length));
        std::vector<uint8_t> buffer(3, 0xEE);
        const uint64_t before = Context->Progress.PackageBytesReceived.load();
        EXPECT_EQ(DownloadRangeToMemory(*Context, url, start, length, buffer), length);
        EXPECT_TRUE(Text(buffer) == bytes.substr(start, length));
        EXPECT_EQ(Context->Progress.PackageBytesReceived.load() - before, length)
            << "every stored byte is counted once";
        EXPECT_TRUE(Log.Contains("start position: " + std::to_string(start) +
                                 "   block end: " + std::to_string(start + length - 1) + "  finish."));
    }
    // Past the end: the buffer has the length, zero-filled, and nothing is counted.
    std::vector<uint8_t> buffer(3, 0xEE);
    const uint64_t before = Context->Progress.PackageBytesReceived.load();
    DownloadRangeToMemory(*Context, url, size + 10000, 5, buffer);
    EXPECT_EQ(buffer, std::vector<uint8_t>(5, 0));
    EXPECT_EQ(Context->Progress.PackageBytesReceived.load(), before);
    EXPECT_EQ(Errors(),
              std::vector<std::string>{"E http status 416, nothing taken from " + Url("ranges.bin")});
    EXPECT_EQ(Log.MessagesStartingWith("file buffer complete").size(), 1u)
        << "only the whole-file range completes it";
    EXPECT_EQ(Log.MessagesStartingWith("file size: " + std::to_string(size)).size(), 6u);
}

TEST_P(LauncherDownloadFiles, FetchTextGivesTheFirstLineAndChineseNamesGoEscaped)
{
    std::string longText(3000, 'x');
    for (size_t i = 0; i < longText.size(); ++i)
        longText[i] = static_cast<char>('a' + i % 26);
    // A version such as "测试 版" names the manifest and the package the worker asks for.
    const std::string manifest = "Startup测试 版.crc";
    const std::string package = "Startup测试 版.pkg";
    // Each file, what is served and the first line.
    const std::string cases[][3] = {{manifest, "first line\nsecond", "first line"},
                                    {"crlf.txt", "default=12,7=11\r\nsecond line\r\n", "default=12,7=11"},
                                    {"lf.txt", "only\nmore", "only"},
                                    {"long.txt", longText, longText.substr(0, 2047)},
                                    {"empty.txt", "", ""}};
    for (const auto& [name, served, line] : cases)
    {
        Serve(name, served);
        xString text("unchanged");
        FetchText(Url(name).c_str(), text);
        EXPECT_EQ(text, line.c_str()) << name;
    }
    if (Server->Kind == PeerKind::DevServer)
    {
        EXPECT_EQ(DevServerRequests(false).front(),
                  "GET /" + CaseName + "/Startup%E6%B5%8B%E8%AF%95%20%E7%89%88.crc HTTP/1.1");
    }
    const std::string bytes = PatternBytes(5000, 7);
    Serve(package, bytes);
    DownloadFile(*Context, Url(package).c_str());
    EXPECT_TRUE(OutText(package) == bytes) << "the package lands under its own name";
    std::vector<uint8_t> range;
    DownloadRangeToMemory(*Context, Url(package).c_str(), 100, 50, range);
    EXPECT_TRUE(Text(range) == bytes.substr(100, 50));
    EXPECT_TRUE(Errors().empty());
}

TEST_P(LauncherDownloadFiles, MissingFileTouchesNothing)
{
    Put(Out("missing.bin"), "earlier");
    const xString url(Url("missing.bin").c_str());
    EXPECT_EQ(TransferOutcome::Unanswered, TransferFile(*Context, url, {}).Outcome);
    EXPECT_EQ(OutText("missing.bin"), "earlier");
    EXPECT_FALSE(OutExists("missing.bin.td")) << "no size, no temporary file";
    EXPECT_EQ(Log.Messages(), std::vector<std::string>{"downloading " + Url("missing.bin")});

    xString text("kept");
    FetchText(url, text);
    EXPECT_EQ(text, "kept") << "an error page is no text";
    EXPECT_TRUE(Log.Contains("E http status 404, nothing taken from " + Url("missing.bin")));

    std::vector<uint8_t> buffer{1, 2, 3};
    DownloadRangeToMemory(*Context, url, 0, 10, buffer);
    EXPECT_EQ(buffer, (std::vector<uint8_t>{1, 2, 3})) << "no size: the buffer stays as it was";
}

// Cases that need the dev server's fault switches and its record of requests.
class LauncherDownloadDevServer : public DownloadTestBase
{
protected:
    void SetUp() override { StartCase(PeerKind::DevServer); }
};

TEST_F(LauncherDownloadDevServer, RequestsGoOutAsWinInetSendsThem)
{
    Serve("req.bin", PatternBytes(100, 5));
    Serve("empty.bin", "");
    Serve("req.txt", "v\n");
    DownloadFile(*Context, Url("req.bin").c_str());
    DownloadFile(*Context, Url("empty.bin").c_str());
    std::vector<uint8_t> buffer;
    DownloadRangeToMemory(*Context, Url("req.bin").c_str(), 5, 10, buffer);
    xString text;
    FetchText(Url("req.txt").c_str(), text);
    const std::vector<std::string> expected{
        "HEAD " + Path("req.bin") + " HTTP/1.0",   "GET " + Path("req.bin") + " HTTP/1.1 Range: bytes=0-99",
        "HEAD " + Path("empty.bin") + " HTTP/1.0", "GET " + Path("empty.bin") + " HTTP/1.1 Range: bytes=0--1",
        "HEAD " + Path("req.bin") + " HTTP/1.0",   "GET " + Path("req.bin") + " HTTP/1.1 Range: bytes=5-14",
        "GET " + Path("req.txt") + " HTTP/1.1",
    };
    EXPECT_EQ(DevServerRequests(false), expected);
    EXPECT_TRUE(OutExists("empty.bin"));
    // One download session for every thread, through the system's proxy; the
    // launcher's other requests ("WispClient") go direct.
    xHttpSession* elsewhere = nullptr;
    std::thread([&] { elsewhere = DownloadSession(); }).join();
    EXPECT_EQ(DownloadSession(), elsewhere);
    EXPECT_EQ(xHttpProxyMode::Preconfigured, elsewhere->GetProxyMode());
    ASSERT_NE(InternetSession(), elsewhere);
    EXPECT_EQ(InternetSession()->GetAgent(), "WispClient");
    EXPECT_EQ(xHttpProxyMode::Direct, InternetSession()->GetProxyMode());
}

TEST_F(LauncherDownloadDevServer, FaultsNeverGiveWrongFilesTextsOrRanges)
{
    // More than two reads' worth of range.bin lies before the range, for a server that ignores it.
    const std::string bytes = PatternBytes(100000, 6);
    const std::string rangeFile = PatternBytes(3 * DownloadPieceSize, 7);
    const uint64_t start = 2 * DownloadPieceSize + 17;
    const std::string kept = "\x09";
    const std::string zeros(100, 0);
    const std::string range = rangeFile.substr(start, 100);
    struct Case
    {
        const char* Faults;
        TransferOutcome Outcome; // Whole replaces the earlier file; Cut leaves its temporary file
        const char* Error;       // the file's one error line, or null when not checked
        const char* Text;        // what FetchText leaves in a text set to "kept" (null: not asked)
        std::string Range;       // what the range leaves in a buffer set to {9}
    };
    const Case cases[] = {
        {"drop-after=1000", TransferOutcome::Cut, nullptr, "first", range},
        {"status=500", TransferOutcome::Unanswered, nullptr, "kept", kept}, // an error page is no file
        {"wrong-length=1", TransferOutcome::Cut, nullptr, "first", zeros}, // the HEAD's size is not the GET's
        {"no-content-length=1", TransferOutcome::Unanswered, nullptr, "first", kept}, // no size, no range
        {"stall-after=0", TransferOutcome::Cut, "E read data failed", "kept",
         zeros},                                                             // silent after the headers
        {"ignore-range=1", TransferOutcome::Whole, nullptr, "first", range}, // skipped to the range
        {"delay-ms=300", TransferOutcome::Whole, nullptr, nullptr, ""}, // pauses shorter than the stall time
    };
    DownloadSession()->SetTimeouts(5000, 1500);
    Serve("text.txt", "first\r\nsecond\r\n");
    Serve("range.bin", rangeFile);
    int index = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.Faults);
        const std::string name = "fault" + std::to_string(index++) + ".bin";
        Serve(name, bytes);
        Put(Out(name), "earlier");
        ASSERT_TRUE(SetDevServerFaults(c.Faults));
        const size_t errorsBefore = Errors().size();
        const auto begin = std::chrono::steady_clock::now();
        std::atomic<uint64_t> received{0};
        TransferOptions options;
        options.Received = &received;
        EXPECT_EQ(c.Outcome, TransferFile(*Context, Url(name).c_str(), options).Outcome);
        EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(10))
            << "the transfer was held";
        const bool cut = c.Outcome == TransferOutcome::Cut;
        EXPECT_TRUE(OutText(name) == (c.Outcome == TransferOutcome::Whole ? bytes : "earlier"))
            << "wrong bytes replaced the file";
        EXPECT_EQ(OutExists(name + ".td"), cut);
        if (cut)
        {
            // Preallocated to the HEAD's size (one more with wrong-length); what arrived sits at its offset.
            const std::string partial = OutText(name + ".td");
            EXPECT_GE(partial.size(), bytes.size());
            EXPECT_LT(received.load(), bytes.size());
            EXPECT_TRUE(partial.substr(0, received.load()) == bytes.substr(0, received.load()));
        }
        if (c.Error != nullptr)
        {
            EXPECT_EQ(Errors().size(), errorsBefore + 1);
            EXPECT_EQ(Errors().back(), c.Error);
        }
        if (c.Text == nullptr)
            continue;
        xString text("kept");
        FetchText(Url("text.txt").c_str(), text);
        EXPECT_EQ(text, c.Text);
        std::vector<uint8_t> buffer{9};
        const uint64_t before = Context->Progress.PackageBytesReceived.load();
        const uint64_t arrived =
            DownloadRangeToMemory(*Context, Url("range.bin").c_str(), start, 100, buffer);
        EXPECT_TRUE(Text(buffer) == c.Range);
        const uint64_t stored = c.Range == range ? 100 : 0;
        EXPECT_EQ(Context->Progress.PackageBytesReceived.load() - before, stored)
            << "only stored bytes are progress";
        EXPECT_TRUE(stored == 0 || arrived == stored) << arrived << " bytes arrived";
    }
}

// Whole bytes that cannot take the name (an older file there is read-only) are
// no finished download: the older file stays and the log says why.
TEST_F(LauncherDownloadDevServer, FileThatCannotReplaceTheOlderOneIsAFailure)
{
    Serve("kept.bin", "new bytes");
    Put(Out("kept.bin"), "older");
    ASSERT_TRUE(Files.SetReadOnly(Out("kept.bin"), true));
    EXPECT_EQ(TransferOutcome::NotRenamed, TransferFile(*Context, Url("kept.bin").c_str(), {}).Outcome);
    Files.SetReadOnly(Out("kept.bin"), false);
    EXPECT_EQ("older", OutText("kept.bin"));
    EXPECT_EQ(Errors(),
              std::vector<std::string>{
                  "E file : kept.bin could not replace the file under its name (in use or read-only?)"});
    // Once the name is free, the next transfer takes it.
    DownloadFile(*Context, Url("kept.bin").c_str());
    EXPECT_EQ("new bytes", OutText("kept.bin"));
}

// A hostile manifest may name a range of gigabytes: it fails alone and at once,
// without setting the memory aside.
TEST_F(LauncherDownloadDevServer, RangeLargerThanAnyPackageFailsCleanly)
{
    Serve("huge.bin", "small");
    ASSERT_TRUE(SetDevServerFaults("head-length=5000000000"));
    const uint64_t length = uint64_t(4) << 30;
    RangeFetcher fetcher(*Context, Url("huge.bin").c_str());
    std::vector<uint8_t> buffer{9};
    EXPECT_EQ(0u, fetcher.Fetch(0, length, buffer, {ByteRange{0, length}}));
    EXPECT_TRUE(buffer.empty()) << buffer.size() << " bytes set aside";
    EXPECT_EQ(Errors(),
              std::vector<std::string>{"E the range of 4294967296 bytes at 0 of " + Url("huge.bin") +
                                       " is larger than any package; not fetched"});
}

TEST_F(LauncherDownloadDevServer, SlowServersMoveProgressBeforeAPieceIsFull)
{
    // The server pauses before each 64 KiB: progress must show the bytes that
    // arrived, not stand still until a whole read piece has come (the bar would freeze).
    const std::string bytes = PatternBytes(DownloadPieceSize + 100, 25);
    Serve("slow.bin", bytes);
    ASSERT_TRUE(SetDevServerFaults("delay-ms=200"));
    std::atomic<uint64_t> received{0};
    struct Case
    {
        const char* Name;
        std::atomic<uint64_t>& Counter;
        std::function<void()> Run;
    };
    std::vector<uint8_t> range;
    const Case cases[] = {
        {"DownloadFile", received, [&] { DownloadFile(*Context, Url("slow.bin").c_str(), &received); }},
        {"DownloadRangeToMemory", Context->Progress.PackageBytesReceived,
         [&] { DownloadRangeToMemory(*Context, Url("slow.bin").c_str(), 0, bytes.size(), range); }},
    };
    for (const Case& c : cases)
    {
        const uint64_t before = c.Counter.load();
        std::atomic<bool> done{false};
        std::set<uint64_t> partial; // counts seen between none and a full piece
        std::thread watcher(
            [&]
            {
                while (!done.load())
                {
                    const uint64_t now = c.Counter.load() - before;
                    if (now > 0 && now < DownloadPieceSize)
                        partial.insert(now);
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
            });
        c.Run();
        done = true;
        watcher.join();
        EXPECT_EQ(c.Counter.load() - before, bytes.size()) << c.Name;
        EXPECT_GE(partial.size(), 2u) << c.Name << ": progress stood still while bytes arrived";
    }
    EXPECT_TRUE(OutText("slow.bin") == bytes);
    EXPECT_TRUE(Text(range) == bytes);
    EXPECT_TRUE(Errors().empty());
}

TEST_F(LauncherDownloadDevServer, UrlsWithoutAPlainFileNameCostNothing)
{
    // Each URL and the error line after "downloading", "" for none.
    const std::string refused = "E Get file name failed: \"";
    const std::pair<std::string, std::string> cases[] = {
        {Url("folder/"), "E Get file name failed."},
        {Url(".."), refused + "..\" is no plain file name."},
        {Url("x.bin?v=1"), refused + "x.bin?v=1\" is no plain file name."},
        {"http://" + std::string(256, 'h') + ".test/x.bin", ""}, // cannot be cracked
        {Server->BaseUrl() + std::string(255, 'p'), ""},
    };
    for (const auto& [url, line] : cases)
    {
        const size_t before = Log.Messages().size();
        EXPECT_EQ(TransferOutcome::BadUrl, TransferFile(*Context, url.c_str(), {}).Outcome);
        std::vector<std::string> expected{"downloading " + url};
        if (!line.empty())
            expected.push_back(line);
        EXPECT_EQ(Log.Messages(before), expected);
    }
    std::vector<xWString> found;
    Files.FindFiles(OutFolder() + u"*", found, true, true);
    EXPECT_TRUE(found.empty()) << "nothing is created";
    EXPECT_TRUE(DevServerRequests(false).empty()) << "no request goes out";

    // 255 characters of path still fit.
    const std::string name = std::string(255 - Path("").size() - 4, 'n') + ".bin";
    ASSERT_EQ(Path(name).size(), 255u);
    Serve(name, "fits");
    DownloadFile(*Context, Url(name).c_str());
    EXPECT_EQ(OutText(name), "fits");
}

TEST_F(LauncherDownloadDevServer, HeldTemporaryFilesMakeWayForNumberedOnesUpToTheirBound)
{
    Serve("bound.bin", "bound");
    // Other writers that share nothing, as second launchers would hold them.
    std::vector<std::unique_ptr<xFile>> holders;
    holders.push_back(Files.OpenWrite(Out("bound.bin.td"), false, false));
    for (int i = 0; i < MaxNumberedTemporaryNames; ++i)
        holders.push_back(Files.OpenWrite(Out("bound.bin_" + std::to_string(i) + ".td"), false, false));
    for (const auto& holder : holders)
        ASSERT_TRUE(holder != nullptr);
    ASSERT_TRUE(holders[0]->Write("mine", 4));
    EXPECT_EQ(TransferOutcome::NoTemporary, TransferFile(*Context, Url("bound.bin").c_str(), {}).Outcome);
    EXPECT_FALSE(OutExists("bound.bin"));

    holders.back().reset();
    DownloadFile(*Context, Url("bound.bin").c_str());
    EXPECT_EQ(OutText("bound.bin"), "bound") << "the last numbered name is still tried";
    EXPECT_TRUE(Log.Contains("renaming bound.bin_99.td to bound.bin"));
    holders[1].reset();
    Serve("bound.bin", "again");
    DownloadFile(*Context, Url("bound.bin").c_str());
    EXPECT_EQ(OutText("bound.bin"), "again");
    EXPECT_TRUE(Log.Contains("file created: bound.bin_0.td")) << "the first free name is taken";
    holders.clear();
    EXPECT_EQ(OutText("bound.bin.td"), "mine") << "a held file is left alone";
    EXPECT_FALSE(OutExists("bound.bin_0.td") || OutExists("bound.bin_99.td"));
}

// Two threads download at once under one cap while their progress is read: 5 MiB
// under 2 MiB/s take about 2.5 s, less the bucket's quarter second; uncapped it is
// a matter of milliseconds.
TEST_F(LauncherDownloadDevServer, ThreadsDownloadAtOnceUnderOneCapWhileProgressIsRead)
{
    const std::string files[2] = {PatternBytes(3 << 20, 12), PatternBytes(2 << 20, 13)};
    Serve("first.bin", files[0]);
    Serve("second.bin", files[1]);
    std::atomic<uint64_t> received[2] = {{0}, {0}};
    std::atomic<uint64_t> sizes[2] = {{0}, {0}};
    std::atomic<bool> done{false};
    bool monotonic = true;
    std::thread reader(
        [&]
        {
            uint64_t last[2] = {0, 0};
            while (!done.load())
            {
                for (int i = 0; i < 2; ++i)
                {
                    const uint64_t now = received[i].load(std::memory_order_relaxed);
                    monotonic = monotonic && now >= last[i] && now <= files[i].size();
                    last[i] = now;
                }
                std::this_thread::yield();
            }
        });
    CapDownloads(2 << 20);
    const auto start = std::chrono::steady_clock::now();
    std::thread one([&] { DownloadFile(*Context, Url("first.bin").c_str(), &received[0], &sizes[0]); });
    std::thread two([&] { DownloadFile(*Context, Url("second.bin").c_str(), &received[1], &sizes[1]); });
    one.join();
    two.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    CapDownloads(0);
    done = true;
    reader.join();
    EXPECT_GE(seconds, 1.9) << "the cap let 5 MiB through faster than 2 MiB/s";
    for (int i = 0; i < 2; ++i)
    {
        EXPECT_TRUE(OutText(i == 0 ? "first.bin" : "second.bin") == files[i]) << i;
        EXPECT_EQ(received[i].load(), files[i].size()) << i;
        EXPECT_EQ(sizes[i].load(), files[i].size()) << i;
    }
    EXPECT_TRUE(monotonic) << "progress only grows, up to the size";
}

TEST_F(LauncherDownloadDevServer, CutTransfersGoOnFromTheBytesOnDiskWhenTheFileIsTheSame)
{
    const std::string bytes = PatternBytes(1000000, 11);
    const uint64_t cut = 900000;
    struct Case
    {
        const char* What;
        bool Resume;        // the caller asks for it
        std::string Faults; // of the second transfer
        std::string Served; // by the second transfer
        bool Resumed;
        bool ReadPast; // the whole file comes again and the bytes on disk are read past
    };
    const Case cases[] = {
        {"an unchanged file", true, "", bytes, true, false},
        {"a server that ignores the range", true, "ignore-range=1", bytes, true, true},
        {"a file of another size", true, "", bytes + "x", false, false},
        {"a caller that does not resume", false, "", bytes, false, false},
    };
    DownloadSession()->SetTimeouts(5000, 1500);
    int index = 0;
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        const std::string name = "cut" + std::to_string(index++) + ".bin";
        Serve(name, bytes);
        ASSERT_TRUE(SetDevServerFaults("drop-after=" + std::to_string(cut)));
        std::atomic<uint64_t> received{0};
        TransferOptions options;
        options.Received = &received;
        options.Resume = c.Resume;
        const TransferResult first = TransferFile(*Context, Url(name).c_str(), options);
        EXPECT_EQ(TransferOutcome::Cut, first.Outcome);
        EXPECT_EQ(int64_t(bytes.size()), first.RemoteSize);
        ResumeRecord record;
        ASSERT_EQ(c.Resume, LoadResumeRecord(*Context, name.c_str(), record))
            << "a record only when resuming";
        EXPECT_FALSE(OutExists(name));
        if (c.Resume)
        {
            // WinINet may have handed over less than the server sent before the drop.
            EXPECT_EQ(first.Counted, record.Done) << "the record holds every byte on disk";
            EXPECT_LE(record.Done, cut);
            EXPECT_EQ(bytes.size(), record.Size);
        }
        const uint64_t onDisk = first.Counted;

        Serve(name, c.Served);
        ASSERT_TRUE(SetDevServerFaults(c.Faults));
        DevServerRequests(true);
        EXPECT_EQ(TransferOutcome::Whole, TransferFile(*Context, Url(name).c_str(), options).Outcome);
        EXPECT_TRUE(OutText(name) == c.Served) << "the file is whole and right";
        EXPECT_EQ(c.Served.size(), received.load()) << "bytes on disk count as received";
        EXPECT_FALSE(OutExists(name + ".td"));
        EXPECT_FALSE(Files.IsFile(ResumeRecordPath(*Context, name.c_str())));
        const std::vector<std::string> asked = DevServerRequests(false);
        const uint64_t from = c.Resumed ? onDisk : 0;
        EXPECT_EQ(asked.back(), "GET " + Path(name) + " HTTP/1.1 Range: bytes=" + std::to_string(from) + "-" +
                                    std::to_string(c.Served.size() - 1));
        EXPECT_EQ(c.ReadPast ? c.Served.size() : c.Served.size() - from, DevServerBytesSent(name));
    }
}

TEST_F(LauncherDownloadDevServer, ResumeRecordsThatDoNotParseStartOver)
{
    const std::string bytes = PatternBytes(5000, 12);
    Serve("r.bin", bytes);
    const std::string good = Std(MakeResumeRecord({5000, "", 3000}));
    ResumeRecord parsed;
    ASSERT_TRUE(ParseResumeRecord(good.c_str(), parsed));
    EXPECT_EQ(3000u, parsed.Done);
    // A kill while the record was rewritten leaves part of it; Done past Size is no record.
    const std::vector<std::string> records = {good.substr(0, good.size() - 1), "",
                                              "size 5000\nversion \ndone 5001\n",
                                              "size 5000\nversion \ndone x\n", good + "more\n"};
    for (const std::string& record : records)
    {
        SCOPED_TRACE(record);
        Put(Out("r.bin.td"), bytes.substr(0, 3000) + std::string(2000, 'z'));
        Put(ResumeRecordPath(*Context, "r.bin"), record);
        EXPECT_FALSE(ParseResumeRecord(record.c_str(), parsed));
        DevServerRequests(true);
        TransferOptions resuming;
        resuming.Resume = true;
        TransferFile(*Context, Url("r.bin").c_str(), resuming);
        EXPECT_TRUE(OutText("r.bin") == bytes);
        EXPECT_EQ(DevServerRequests(true).back(), "GET " + Path("r.bin") + " HTTP/1.1 Range: bytes=0-4999");
    }
}

// nginx: a server nobody here wrote, configured so that GET fails after a good HEAD.
class LauncherDownloadNginx : public DownloadTestBase
{
protected:
    void SetUp() override { StartCase(PeerKind::Nginx); }
};

TEST_F(LauncherDownloadNginx, ErrorPageAfterAGoodHeadStoresNothing)
{
    const std::string name = CaseName + ".bin";
    Put(Server->Root + u"get-fails/" + Utf8ToWide(name.c_str()), "0123456789");
    Put(Out(name), "earlier");
    const std::string url = Server->BaseUrl() + "get-fails/" + name;
    DownloadFile(*Context, url.c_str());
    EXPECT_EQ(OutText(name), "earlier") << "the 10-byte error page is not the 10-byte file";
    EXPECT_TRUE(Log.Contains("E http status 500, nothing taken from " + url));
    std::vector<uint8_t> buffer;
    DownloadRangeToMemory(*Context, url.c_str(), 2, 4, buffer);
    EXPECT_EQ(buffer, std::vector<uint8_t>(4, 0)) << "zeros, not the error page";
}

TEST_F(LauncherDownloadNginx, RequestHeadersAreWinInetsOwn)
{
    if (Server->AccessLog.IsEmpty())
        GTEST_SKIP() << "nginx's access log was not named";
    Serve("h.bin", PatternBytes(100, 14));
    Serve("h.txt", "text\n");
    // Only this run's lines: the log may hold an earlier run's of the same case.
    const size_t before = ReadFileLines(FsPath(Server->AccessLog)).size();
    DownloadFile(*Context, Url("h.bin").c_str());
    xString text;
    FetchText(Url("h.txt").c_str(), text);
    std::vector<std::string> lines;
    const std::vector<std::string> logged = ReadFileLines(FsPath(Server->AccessLog));
    for (size_t i = before; i < logged.size(); ++i)
    {
        if (logged[i].find(CaseName) != std::string::npos)
            lines.push_back(logged[i]);
    }
    // REQUEST|User-Agent|Accept|Range|Pragma; "-" for a header that was not sent.
    const std::vector<std::string> expected{
        "HEAD " + Path("h.bin") + " HTTP/1.0|WispDownload|-|-|-",
        "GET " + Path("h.bin") + " HTTP/1.1|WispDownload|*/*|bytes=0-99|-",
        "GET " + Path("h.txt") + " HTTP/1.1|WispDownload|-|-|no-cache",
    };
    EXPECT_EQ(lines, expected);
}

TEST_F(LauncherDownloadNginx, ResumeOnlyWhileTheServerNamesTheSameVersion)
{
    // nginx sends an ETag: a record of another version is no record of this file.
    const std::string bytes = PatternBytes(5000, 13);
    Serve("v.bin", bytes);
    xString version;
    {
        std::unique_ptr<xHttpConnection> connection = DownloadSession()->Connect("127.0.0.1", Server->Port);
        ASSERT_EQ(5000, QueryRemoteSize(connection.get(), Path("v.bin").c_str(), &version));
    }
    ASSERT_FALSE(version.IsEmpty()) << "nginx names the file's version";
    for (const bool same : {false, true})
    {
        SCOPED_TRACE(same ? "the same version" : "another version");
        // The bytes on disk are marked: a resumed file keeps them, a fresh one does not.
        Put(Out("v.bin.td"), std::string(3000, 'm') + std::string(2000, '\0'));
        Put(ResumeRecordPath(*Context, "v.bin"),
            Std(MakeResumeRecord({5000, same ? version : xString("\"other\""), 3000})));
        TransferOptions resuming;
        resuming.Resume = true;
        TransferFile(*Context, Url("v.bin").c_str(), resuming);
        EXPECT_TRUE(OutText("v.bin") == (same ? std::string(3000, 'm') + bytes.substr(3000) : bytes));
    }
}

// The pieces the operations are made of.

TEST(LauncherDownload, FileNameIsTheLastPathComponent)
{
    xString name;
    ASSERT_TRUE(GetUrlFileName("http://h/mirra/client/Startup12.pkg", name));
    EXPECT_EQ(name, "Startup12.pkg");
    ASSERT_TRUE(GetUrlFileName("http://h:81/simhei.fnt#top", name));
    EXPECT_EQ(name, "simhei.fnt") << "a fragment is not part of the name";
    // Escapes are decoded (FuzzUrl; a Chinese name through the server in FetchTextGivesTheFirstLine...).
    EXPECT_FALSE(GetUrlFileName("http://h", name)) << "the host is no file name";
    EXPECT_FALSE(GetUrlFileName("https://h/a.bin", name));
}

TEST(LauncherDownload, OnlyPlainFileNamesAreTaken)
{
    const char* plain[] = {"Startup12.pkg", "simhei.fnt",  "a",    "qtmx3.exe",
                           ".hidden",       "CONSOLE.txt", "com10"};
    for (const char* name : plain)
        EXPECT_TRUE(IsPlainFileName(name)) << name;
    const char* refused[] = {"",    ".",       "..",  "a..b", "a\\b",     "c:x",       "a:stream", "x?y",
                             "a*",  "a<b",     "a>b", "a|b",  "a\"b",     "tab\tname", "trail.",   "trail ",
                             "CON", "con.txt", "NUL", "com1", "Lpt9.log", "del\x7F"};
    for (const char* name : refused)
        EXPECT_FALSE(IsPlainFileName(name)) << name;
}

TEST(LauncherDownload, ContentLengthIsDecimalAndSane)
{
    const std::pair<const char*, int64_t> cases[] = {
        {"0", 0}, {"12345", 12345}, {" 42 ", 42}, {"9223372036854775807", INT64_MAX}};
    for (const auto& [text, size] : cases)
        EXPECT_EQ(ParseContentLength(text), size) << "\"" << text << "\"";
    for (const char* text :
         {"9223372036854775808", "-5", "+5", "", "abc", "12abc", "1 2", "000000000000000000000000000001"})
        EXPECT_EQ(ParseContentLength(text), -1) << "\"" << text << "\"";
}

TEST(LauncherDownload, ContentRangeNamesTheBytesAndRangeHeadersTakeLargeOffsets)
{
    ContentRange range;
    ASSERT_TRUE(ParseContentRange("bytes 5-14/100", range));
    EXPECT_EQ(std::make_tuple(range.First, range.Last, range.Total),
              std::make_tuple(uint64_t(5), uint64_t(14), int64_t(100)));
    ASSERT_TRUE(ParseContentRange("bytes 0-0/*", range));
    EXPECT_EQ(range.Total, -1);
    const char* refused[] = {
        "bytes */100",    "bytes 5-4/100",   "bytes 5-14/14",   "bytes 5-14",
        "items 5-14/100", "bytes -5-14/100", "bytes 5-14/100x", "bytes 99999999999999999999-1/2"};
    for (const char* text : refused)
        EXPECT_FALSE(ParseContentRange(text, range)) << text;
    // The request record shows the small ones (and the empty file's "0--1").
    EXPECT_EQ(MakeRangeHeader(5000000000ull, 1), "Range: bytes=5000000000-5000000000\r\n");
}
