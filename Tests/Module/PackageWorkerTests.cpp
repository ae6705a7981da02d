#include "LauncherDownloadCase.h"
#include "TestPackage.h"

#include "EngineText.h"
#include "FileBytes.h"
#include "PackageProgress.h"
#include "PackageWorker.h"
#include "PackageWorkerThread.h"
#include "VerifiedState.h"

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
#include <ostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

// The package worker against the dev server (and nginx for the partial way).

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

// "METHOD TARGET VERSION[ Range: bytes=A-B][ peer PORT]" lines of the dev server's record.
std::vector<PackageRequest> FromDevServer(const std::vector<std::string>& lines, const std::string& path)
{
    std::vector<PackageRequest> found;
    for (const std::string& line : lines)
    {
        PackageRequest request;
        request.Head = line.rfind("HEAD " + path + " ", 0) == 0;
        if (!request.Head && line.rfind("GET " + path + " ", 0) != 0)
            continue;
        const size_t peer = line.rfind(" peer ");
        request.Connection = peer == std::string::npos ? "" : line.substr(peer + 6);
        const size_t range = line.find("Range: bytes=");
        if (range != std::string::npos)
            std::sscanf(line.c_str() + range, "Range: bytes=%" SCNu64 "-%" SCNu64, &request.First,
                        &request.Last);
        // The dev server answers a range with exactly its bytes.
        request.Sent = request.Head ? 0 : request.Last + 1 - request.First;
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
        PackageRequest made;
        made.Head = fields.size() == 5 && fields[1].rfind("HEAD " + path + " ", 0) == 0;
        if (fields.size() != 5 || (!made.Head && fields[1].rfind("GET " + path + " ", 0) != 0))
            continue;
        made.Connection = fields[0];
        std::sscanf(fields[2].c_str(), "bytes=%" SCNu64 "-%" SCNu64, &made.First, &made.Last);
        made.Sent = std::strtoull(fields[4].c_str(), nullptr, 10);
        found.push_back(made);
    }
    return found;
}

std::vector<PackageRequest> GetsOnly(std::vector<PackageRequest> requests)
{
    requests.erase(
        std::remove_if(requests.begin(), requests.end(), [](const PackageRequest& r) { return r.Head; }),
        requests.end());
    return requests;
}

std::vector<uint64_t> Firsts(const std::vector<PackageRequest>& requests)
{
    std::vector<uint64_t> firsts;
    for (const PackageRequest& request : requests)
        firsts.push_back(request.First);
    return firsts;
}

size_t Count(const std::vector<std::string>& lines, const std::string& start)
{
    return static_cast<size_t>(std::count_if(
        lines.begin(), lines.end(), [&](const std::string& line) { return line.rfind(start, 0) == 0; }));
}

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

// `count` stored files of `each` bytes under `folder`/: the package is their bytes back to back.
std::vector<ClientFile> StoredClient(const std::string& folder, size_t count, size_t each, uint32_t seed)
{
    std::vector<ClientFile> client;
    for (size_t i = 0; i < count; ++i)
        client.push_back({folder + "/f" + std::to_string(i) + ".dat",
                          PatternBytes(each, seed + static_cast<uint32_t>(i)), false});
    return client;
}
} // namespace

class PackageWorkerTest : public DownloadTestBase
{
protected:
    virtual PeerKind Peer() const { return PeerKind::DevServer; }
    void SetUp() override
    {
        StartCase(Peer());
        // The product's attempts, short pauses.
        Context->RetryPolicy = {3, 10, 3, std::chrono::milliseconds(10), std::chrono::milliseconds(40)};
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
    xWString Installed(const std::string& name, const xWString& publish = xWString()) const
    {
        return (publish.IsEmpty() ? Publish() : publish) + Utf8ToWide(name.c_str());
    }
    std::string InstalledBytes(const std::string& name) const
    {
        return ReadFileBytes(FsPath(Installed(name)));
    }

    void Serve(const TestPackage& made, const std::string& version = "T")
    {
        Put(ServedFolder() + Utf8ToWide(("Startup" + version + ".pkg").c_str()), made.Package);
        Put(ServedFolder() + Utf8ToWide(("Startup" + version + ".crc").c_str()), Lzma86Of(made.Xml));
    }
    size_t Temporaries(const xWString& folder) const
    {
        std::vector<xWString> found;
        Files.FindFilesRecursive(found, folder, u"*.td", true, false);
        return found.size();
    }
    void ExpectInstalled(const std::vector<ClientFile>& files)
    {
        for (const ClientFile& file : files)
        {
            EXPECT_TRUE(Files.IsFile(Installed(file.Name))) << file.Name;
            EXPECT_TRUE(InstalledBytes(file.Name) == file.Bytes) << file.Name << " differs";
        }
        EXPECT_EQ(0u, Temporaries(Publish())) << "a temporary file was left behind";
    }
    // Runs one update and checks how it ended: 0 and Done, or -1 and Failed.
    void ExpectUpdate(bool whole, const PackageJob& job)
    {
        EXPECT_EQ(whole ? 0 : -1, PackageUpdateThread(*Context, job));
        EXPECT_EQ(whole ? PackageUpdateDone : PackageUpdateFailed,
                  Context->Progress.PackageUpdateState.load());
    }
    void ExpectUpdate(bool whole) { ExpectUpdate(whole, Job()); }
    // How many requests since the last call start with `start` (then the record is cleared).
    size_t Asked(const std::string& start) { return Count(DevServerRequests(true), start); }
    // The package GETs since the last call (then the record is cleared).
    std::vector<PackageRequest> PackageGets()
    {
        return GetsOnly(FromDevServer(DevServerRequests(true), Path("StartupT.pkg")));
    }
    std::string GetPackage() const { return "GET " + Path("StartupT.pkg"); }
    size_t Errors(const std::string& start) const { return Log.MessagesStartingWith("E " + start).size(); }
    size_t ErrorLinesSince(size_t from) const { return Count(Log.Messages(from), "E "); }
    // Forgets the installed client and the fetched package.
    void ForgetClient()
    {
        Files.DeleteDirectory(Publish());
        Files.DeleteFile(Out("StartupT.pkg"));
    }
};

TEST_F(PackageWorkerTest, FreshClientComesWholeAndAgainOnlyTheManifest)
{
    const std::vector<ClientFile> client = SampleClient();
    const TestPackage made = MakePackage(client);
    Serve(made);

    ExpectUpdate(true);
    ExpectInstalled(client);
    EXPECT_TRUE(Context->Progress.FullDownloadDone.load());
    EXPECT_FALSE(Context->Progress.PartialDownloadDone.load());
    EXPECT_EQ(made.Package.size(), Context->Progress.PackageBytesNeeded.load()) << "every file was stale";
    EXPECT_EQ(made.Package.size(), Context->Progress.PackageBytesReceived.load());
    EXPECT_GT(Context->Progress.CrcEndTime.load(), 0.0);
    EXPECT_GT(Context->Progress.DownloadSpeed.load(), 0.0);

    // Up to date: only the manifest is asked for, and the former need stays.
    DevServerRequests(true);
    Context->Progress.PackageBytesNeeded = 12345;
    ExpectUpdate(true);
    const std::vector<std::string> again = DevServerRequests(true);
    EXPECT_EQ(0u, Count(again, GetPackage()));
    EXPECT_EQ(1u, Count(again, "GET " + Path("StartupT.crc")));
    EXPECT_EQ(12345u, Context->Progress.PackageBytesNeeded.load());

    // A missing empty file needs no bytes, but is made again, without a request.
    RenewContext();
    ASSERT_TRUE(Files.DeleteFile(Installed("empty.bin")));
    ExpectUpdate(true);
    EXPECT_TRUE(Context->Progress.PartialDownloadDone.load());
    EXPECT_EQ(0u, Asked(GetPackage()));
    ExpectInstalled(client);

    // The installed client counts as final: not even the manifest is asked for.
    PackageJob local = Job();
    local.LocalMode = true;
    RenewContext();
    ExpectUpdate(true, local);
    EXPECT_TRUE(DevServerRequests(true).empty());
}

// A login reads only the files the verified state cannot vouch for: a file
// changed behind the launcher's back with a new time is read and fetched again;
// one whose old time was put back is found only by the full check (verify, or
// the profile's every login). A failed update leaves no record, a damaged one
// is not trusted: the next run reads every file.
TEST_F(PackageWorkerTest, VerifiedStateSparesReadsAndTheFullCheckFindsWhatItHides)
{
    const std::vector<ClientFile> client = SampleClient();
    Serve(MakePackage(client));
    const xWString record = Publish() + u"Launcher.verified";
    // A small part of the package's data: fetched again by its range.
    const ClientFile& text = client[2];
    const xWString game = Installed(text.Name);
    const std::string changed(text.Bytes.size(), 'x');
    const xDateTime pinned = xDateTime::FromCalendar(2020, 1, 1, 12, 0, 0, 0);
    const auto check = [&](const std::string& expected, const PackageJob& job)
    {
        SCOPED_TRACE(expected);
        ExpectUpdate(true, job);
        const std::vector<std::string> lines = Log.MessagesStartingWith("Client check: ");
        EXPECT_EQ("Client check: 4 files, " + expected, lines.empty() ? "" : lines.back());
        EXPECT_TRUE(Files.IsFile(record));
    };
    const auto fullChecks = [&](const std::string& why)
    { return Log.MessagesStartingWith("Full client check (" + why + ")").size(); };
    // Checks that took the record's word for the whole client, the manifest not unpacked.
    const auto wholeTrusted = [&]
    { return Log.MessagesStartingWith("The manifest is the one the verified state was made from").size(); };
    PackageJob verify = Job(), everyLogin = Job();
    verify.FullCheck = FullCheckCause::Asked;
    everyLogin.FullCheck = FullCheckCause::EveryLogin;

    check("0 trusted from the verified state, 0 read", Job());
    EXPECT_EQ(1u, fullChecks("the verified state is missing"));
    DevServerRequests(true);
    check("4 trusted from the verified state, 0 read", Job());
    EXPECT_EQ(0u, Asked(GetPackage()));
    EXPECT_EQ(1u, wholeTrusted());

    // Another time alone: read again, and trusted with its new time.
    ASSERT_TRUE(Files.SetLastWriteTime(game, pinned));
    check("3 trusted from the verified state, 1 read", Job());
    EXPECT_EQ(1u, wholeTrusted());
    // Other bytes of the same size, a new time: found and fetched again.
    Put(game, changed);
    ASSERT_TRUE(Files.SetLastWriteTime(game, xDateTime(pinned.GetTicks() + xDateTime::TicksPerHour)));
    check("3 trusted from the verified state, 1 read", Job());
    EXPECT_EQ(1u, Asked(GetPackage()));
    ExpectInstalled(client);

    // The same change with the old time put back: the fast check trusts it,
    // the full check finds it.
    ASSERT_TRUE(Files.SetLastWriteTime(game, pinned));
    check("3 trusted from the verified state, 1 read", Job());
    Put(game, changed);
    ASSERT_TRUE(Files.SetLastWriteTime(game, pinned));
    check("4 trusted from the verified state, 0 read", Job());
    EXPECT_EQ(changed, InstalledBytes(text.Name));
    EXPECT_EQ(0u, Asked(GetPackage()));
    check("0 trusted from the verified state, 4 read", verify);
    EXPECT_EQ(1u, fullChecks("asked for by verify"));
    EXPECT_EQ(1u, Asked(GetPackage()));
    ExpectInstalled(client);
    check("0 trusted from the verified state, 4 read", everyLogin);
    EXPECT_EQ(1u, fullChecks("the product checks every login"));

    // A failed update takes the record with it; the next run reads every file.
    Put(game, "stale");
    Files.DeleteFile(ServedFolder() + u"StartupT.pkg");
    Files.DeleteFile(Out("StartupT.pkg"));
    ExpectUpdate(false);
    EXPECT_FALSE(Files.IsFile(record));
    Serve(MakePackage(client));
    check("0 trusted from the verified state, 3 read", Job());
    EXPECT_EQ(2u, fullChecks("the verified state is missing"));

    // A damaged record is not trusted.
    std::string bytes = ReadFileBytes(FsPath(record));
    bytes[bytes.size() / 2] ^= 1;
    Put(record, bytes);
    check("0 trusted from the verified state, 4 read", Job());
    EXPECT_EQ(1u, fullChecks("the verified state is damaged"));
    EXPECT_EQ(1u, Errors("The verified state "));
    check("4 trusted from the verified state, 0 read", Job());
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
    RenewContext();
    Put(Installed("half.dat"), "stale");
    ExpectUpdate(true);
    EXPECT_EQ(1u, Asked(GetPackage() + " HTTP/1.1 Range: bytes=0-49")) << "and no other package request";
    EXPECT_TRUE(Context->Progress.PartialDownloadDone.load());
    EXPECT_FALSE(Context->Progress.FullDownloadDone.load());
    ExpectInstalled(client);

    // Every missing folder level is made again.
    ASSERT_TRUE(Files.DeleteDirectory(Publish() + u"deep/"));
    ExpectUpdate(true);
    EXPECT_EQ(1u, Asked(GetPackage() + " HTTP/1.1 Range: bytes=50-98"));
    ExpectInstalled(client);

    // One byte more than half: the whole package (the first one still verifies, so it is only unpacked).
    RenewContext();
    Put(Installed("half.dat"), "stale");
    ASSERT_TRUE(Files.DeleteFile(Installed("one.dat")));
    ExpectUpdate(true);
    EXPECT_EQ(0u, Asked(GetPackage()));
    EXPECT_TRUE(Context->Progress.FullDownloadDone.load());
    EXPECT_EQ(51u, Context->Progress.PackageBytesNeeded.load());
    ExpectInstalled(client);
}

// A killed update leaves temporary files and an unfinished package: the next
// complete run, whichever way, removes them, but never a client file named like
// one, nor one named like the temporary file of no client file.
TEST_F(PackageWorkerTest, CompletedUpdateLeavesNoTemporaryFileOfAKilledOne)
{
    const std::vector<ClientFile> client = {{"big.dat", PatternBytes(80, 6u), false},
                                            {"deep/small.dat", PatternBytes(20, 7u), false},
                                            {"kept.dat", PatternBytes(5, 8u), false},
                                            {"kept.dat.td", PatternBytes(6, 9u), false}};
    Serve(MakePackage(client));
    ExpectUpdate(true);
    // Each way and the file made stale first, if any.
    const std::pair<const char*, const char*> cases[] = {
        {"nothing to fetch", nullptr}, {"the partial way", "deep/small.dat"}, {"the full way", "big.dat"}};
    for (const auto& [what, stale] : cases)
    {
        SCOPED_TRACE(what);
        if (stale != nullptr)
            Put(Installed(stale), "stale");
        Put(Installed("big.dat.td"), "half of a rewrite");
        Put(Installed("deep/small.dat.td"), "half");
        Put(Installed("deep/other.dat.td"), "no client file's");
        Put(Out("StartupT.pkg.td"), "the package's first bytes");
        Put(Out("StartupT.crc.td"), "");
        ExpectUpdate(true);
        for (const ClientFile& file : client)
            EXPECT_EQ(file.Bytes, InstalledBytes(file.Name)) << file.Name;
        EXPECT_FALSE(OutExists("StartupT.pkg.td"));
        EXPECT_FALSE(OutExists("StartupT.crc.td"));
        EXPECT_EQ(2u, Temporaries(Publish())) << "only the client's own kept.dat.td and deep/other.dat.td";
    }

    // A record anyone could write, naming a file outside the publish folder
    // with its true stamp: trusted or not, nothing outside is removed.
    const xWString record = Publish() + u"Launcher.verified";
    const std::string bytes = ReadFileBytes(FsPath(record));
    VerifiedState forged;
    std::string error;
    ASSERT_TRUE(
        ParseVerifiedState(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), forged, error));
    Put(Out("outside.dat"), "not the launcher's");
    Put(Out("outside.dat.td"), "not the launcher's either");
    const xFileInfo outside = Files.GetFileInfo(Out("outside.dat"));
    forged.Files.push_back(forged.Files.front());
    forged.Files.back().Name = "../outside.dat";
    forged.Files.back().Stamp = {uint64_t(outside.Size), outside.LastWriteTime.GetTicks(), outside.FileId};
    ++forged.ManifestEntries;
    const std::vector<uint8_t> written = WriteVerifiedState(forged);
    Put(record, std::string(written.begin(), written.end()));
    ExpectUpdate(true);
    EXPECT_TRUE(OutExists("outside.dat.td"));
}

TEST_F(PackageWorkerTest, HostileManifestWritesNothingOutsideThePublishFolder)
{
    // ok.txt holds most of the data, so the first update takes the full way.
    const std::vector<ClientFile> client = {{"ok.txt", PatternBytes(100, 9u), false}};
    std::string hostile;
    // Which names are unsafe is PackageCheck's table; here two of them meet the worker.
    for (const char* name : {"../escape.txt", "sub/../../up.txt", "launcher.VERIFIED"})
        hostile += FileElement(name, "fine", 0, 4, false);
    // Data past the package's end, stored and packed: these files cannot be made.
    hostile += FileElement("past.bin", "abcd", 1000000, 4, false);
    hostile += FileElement("longer.bin", std::string(400, 'l'), 0, 4, false);
    Serve(MakePackage(client, hostile));

    ExpectUpdate(false);
    ExpectInstalled(client);
    EXPECT_EQ(3u, Errors("Manifest entry skipped, its name does not stay"));
    EXPECT_EQ(1u, Errors("Manifest entry past.bin reaches past the package's end"));
    EXPECT_EQ(1u, Errors("Manifest entry longer.bin reaches past the package's end"));
    EXPECT_EQ(1u, Errors("2 client files stay stale")) << "unsafe names are refused, not counted";
    EXPECT_EQ(1u, Errors("Package update failed: the full way"));

    // The same two entries by ranges: nothing fetched past the data is written.
    ExpectUpdate(false);
    EXPECT_FALSE(Context->Progress.PartialDownloadDone.load());
    EXPECT_EQ(1u, Errors("past.bin could not be fetched"));
    EXPECT_EQ(1u, Errors("Manifest entry longer.bin is larger than its package data"));
    EXPECT_EQ(1u, Errors("Package update failed: the partial way"));
    ExpectInstalled(client);
    EXPECT_FALSE(Files.IsFile(Installed("past.bin")));
    EXPECT_FALSE(Files.IsFile(Installed("longer.bin")));
    EXPECT_FALSE(Files.IsFile(OutFolder() + u"escape.txt"));
    EXPECT_FALSE(Files.IsFile(Server->Root + u"up.txt"));
    EXPECT_FALSE(Files.IsFile(Server->Root + u"escape.txt"));

    // The full way fails only when a file stays stale: ones it cannot write that
    // are right already leave the client whole.
    Put(Installed("past.bin"), "abcd");
    Put(Installed("longer.bin"), std::string(400, 'l'));
    ASSERT_TRUE(Files.DeleteFile(Installed("ok.txt")));
    RenewContext();
    ExpectUpdate(true);
    EXPECT_TRUE(Context->Progress.FullDownloadDone.load());
    EXPECT_EQ(2u, Errors("Manifest entry past.bin reaches past the package's end"));
    ExpectInstalled(client);
}

TEST_F(PackageWorkerTest, FullWayWritesTheSameWithAnyNumberOfDecoders)
{
    // broken.txt's data (pad.bin's) is a container cut short; past.bin's lies past the package's end.
    const std::string text(5000, 't');
    const std::string container = Lzma86Of(text);
    std::vector<ClientFile> client = {{"pad.bin", container.substr(0, container.size() / 2), false}};
    // Packed and stored files in a few folders; of names that clash, the later
    // "twice.dat" wins and "clash/in.dat" finds a file where its folder should be.
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
    Serve(MakePackage(client, FileElement("broken.txt", text, 0, container.size() / 2, true) +
                                  FileElement("past.bin", "abcd", 1000000, 4, false)));
    // A first update fetches the package; the ones compared only unpack it.
    ExpectUpdate(false);
    DevServerRequests(true);

    std::vector<std::string> oneDecoder;
    for (int decoders : {1, 2, 4})
    {
        SCOPED_TRACE(std::to_string(decoders) + " decoders");
        ASSERT_TRUE(Files.DeleteDirectory(Publish()));
        Context->DecoderCount = decoders;
        EXPECT_EQ(decoders, Context->GetDecoderCount());
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
            {"E Cannot create " + Narrow(Installed("clash/in.dat.td")), 1},
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
    // Eight files of 40000 bytes, every other one packed, in slow 64 KiB chunks:
    // the first file is whole long before the last byte.
    std::vector<ClientFile> client;
    for (uint32_t i = 0; i < 8; ++i)
        client.push_back({"early/f" + std::to_string(i) + ".dat", PatternBytes(40000, 60u + i), i % 2 == 1});
    const TestPackage made = MakePackage(client);
    Serve(made);
    const std::string slow = "delay-ms=60&for-path=StartupT.pkg";
    const std::string corrupted = client[2].Name; // stored, so its data is its bytes
    const std::string refetched = "Package " + Url("StartupT.pkg") + " did not verify";
    struct Case
    {
        const char* What;
        std::string Faults;
        bool Whole;
        size_t Gets;
        std::vector<std::string> Errors; // each exactly once
    };
    const Case cases[] = {
        {"a slow package", slow, true, 1, {}},
        {"a file's bytes corrupted in the first transfer",
         slow + "&times=1&corrupt-at=" + std::to_string(made.Starts[2] + 100),
         true,
         2,
         {corrupted + " did not match its checksum while the package arrived",
          refetched + "; fetching it again"}},
        {"a package that never verifies",
         slow + "&corrupt-at=" + std::to_string(made.Starts[4] + 100),
         false,
         static_cast<size_t>(Context->RetryPolicy.PackageAttempts),
         {client[4].Name + " did not match its checksum while the package arrived", refetched + " after"}},
    };
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        ForgetClient();
        // An old file of the corrupted one's name must never give way to wrong bytes.
        Put(Installed(corrupted), "old");
        DevServerRequests(true);
        ASSERT_TRUE(SetDevServerFaults(c.Faults));
        const size_t from = Log.Messages().size();

        // Watches the client files during the update for wrong bytes, and for a
        // right file before the package is in place. A file is read until seen
        // right; one that cannot be opened (being replaced on Windows) is skipped.
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
        if (!c.Whole)
        {
            EXPECT_EQ(client[0].Bytes, InstalledBytes(client[0].Name))
                << "what arrived whole in the first transfer is in place";
            continue;
        }
        EXPECT_EQ(c.Errors.size(), ErrorLinesSince(from)) << "no other error line";
        ExpectInstalled(client);
    }
}

// A dropped package transfer that recovers: HostileServerTest's BodyShorterOnce
// (the full way) and PartialWayTest's short answer (the partial way).
TEST_F(PackageWorkerTest, ShortRangesAreAskedAgainThenGivenUp)
{
    // b.dat's data is less than half of the package: alone it goes by range.
    const std::vector<ClientFile> client = {{"a.dat", PatternBytes(300000, 6u), false},
                                            {"b.dat", PatternBytes(500, 7u), true}};
    Serve(MakePackage(client));
    ExpectUpdate(true);
    DevServerRequests(true);

    // A short range is asked again and never written; a file left stale fails the update.
    Put(Installed("b.dat"), "old");
    ASSERT_TRUE(SetDevServerFaults("drop-after=10&for-path=StartupT.pkg"));
    ExpectUpdate(false);
    EXPECT_EQ(3u, Asked(GetPackage()));
    EXPECT_EQ("old", InstalledBytes("b.dat"));
    EXPECT_EQ(3u, Errors("Range of b.dat came back short"));
    EXPECT_EQ(1u, Errors("b.dat could not be fetched"));
    EXPECT_EQ(1u, Errors("1 client files stay stale"));
    EXPECT_EQ(0u, Context->Progress.PackageBytesReceived.load()) << "thrown-away bytes are no progress";
}

TEST_F(PackageWorkerTest, UnreadableManifestIsFetchedAgainThenTheUpdateFails)
{
    Put(ServedFolder() + u"StartupT.crc", "not a container");
    ExpectUpdate(false);
    EXPECT_EQ(3u, Asked("GET " + Path("StartupT.crc")));
    EXPECT_EQ(1u, Errors("Package update failed: no readable manifest"));

    EXPECT_FALSE(Files.IsFile(Out("StartupT.crc"))) << "a manifest that cannot be read took its name";

    // No manifest at all: asked again, then the update fails (nothing says whether the client is whole).
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
    PackageWorkerThread worker(*Context);
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

    // An update that has given up, though its thread has not ended, does not swallow a new request.
    ASSERT_TRUE(SetDevServerFaults("delay-ms=300&for-path=Startup1.crc"));
    EXPECT_EQ(Outcome::Started, worker.Run(Job("1")));
    Context->Progress.PackageUpdateState = PackageUpdateFailed;
    EXPECT_EQ(Outcome::Queued, worker.Run(Job("1")));
    ASSERT_TRUE(worker.WaitUntilIdle(std::chrono::seconds(60)));
    EXPECT_EQ(2u, Asked("GET " + Path("Startup1.crc")));
}

namespace
{
// The partial way's requests: stored files ("SIZE" with "s" when stale, "p"
// when packed), and how many ranged GETs they take.
struct SpanCase
{
    const char* What;
    const char* Files;
    const char* Faults; // dev server only; "" for none
    size_t Gets;
    int RetryFrom; // the file whose data the second GET starts with; -1: not checked
};

const SpanCase SpanCases[] = {
    {"small gaps and adjacent files share one request", "20000s 300 20000s 300 20000sp 20000s 300 20000s 500",
     "", 1, -1},
    {"far apart files go alone", "5000s 100000 5000sp 100000 5000s", "", 3, -1},
    {"near ones share, far ones not", "5000s 200 5000s 100000 5000s 200 5000s", "", 2, -1},
    {"a gap the 5% budget cannot pay stays", "1000s 3000 1000s", "", 2, -1},
    {"a server ignoring ranges is read on from its one answer", "5000s 200 5000sp 100000 5000s 200 5000s",
     "ignore-range=1", 1, -1},
    {"a short answer keeps the files that came whole and asks for the rest",
     "20000s 300 20000s 300 20000s 300 20000s", "drop-after=50000&for-path=.pkg&times=1", 2, 4},
};
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
    std::vector<std::string> TrafficLines() const
    {
        return TrafficLog().IsEmpty() ? std::vector<std::string>() : ReadFileLines(FsPath(TrafficLog()));
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
        std::vector<bool> stale;
        std::istringstream files(c.Files);
        for (std::string file; files >> file;)
        {
            client.push_back({"v" + version + "/f" + std::to_string(client.size()) + ".dat",
                              PatternBytes(std::stoul(file), static_cast<uint32_t>(client.size() + 20)),
                              file.find('p') != std::string::npos});
            stale.push_back(file.find('s') != std::string::npos);
        }
        // Fresh ballast at the end keeps the stale share under half: the partial way.
        client.push_back({"v" + version + "/ballast.dat", PatternBytes(250000, 19), false});
        stale.push_back(false);
        const TestPackage made = MakePackage(client);
        Serve(made, version);
        uint64_t staleBytes = 0;
        for (size_t i = 0; i < client.size(); ++i)
        {
            Put(Installed(client[i].Name), stale[i] ? "stale" : client[i].Bytes);
            const size_t end = i + 1 < client.size() ? made.Starts[i + 1] : made.Package.size();
            staleBytes += stale[i] ? end - made.Starts[i] : 0;
        }
        const size_t logged = TrafficLines().size();
        RenewContext();
        if (dev)
        {
            DevServerRequests(true);
            ASSERT_TRUE(SetDevServerFaults(c.Faults));
        }

        ExpectUpdate(true, Job(version));
        EXPECT_TRUE(Context->Progress.PartialDownloadDone.load());
        ExpectInstalled(client);
        EXPECT_EQ(staleBytes, Context->Progress.PackageBytesNeeded.load());
        EXPECT_EQ(staleBytes, Context->Progress.PackageBytesReceived.load())
            << "gap bytes and thrown-away bytes are no progress";

        const std::string path = Path("Startup" + version + ".pkg");
        std::vector<PackageRequest> asked;
        if (dev)
            asked = FromDevServer(DevServerRequests(true, true), path);
        else if (!TrafficLog().IsEmpty())
        {
            const std::vector<std::string> lines = TrafficLines();
            asked = FromNginx(
                {lines.begin() + static_cast<std::ptrdiff_t>(std::min(logged, lines.size())), lines.end()},
                path);
        }
        else
            continue; // nginx named without its logs: the files above are all there is to check
        const std::vector<PackageRequest> gets = GetsOnly(asked);
        EXPECT_EQ(1u, asked.size() - gets.size()) << "one HEAD for the whole run";
        ASSERT_EQ(c.Gets, gets.size());
        uint64_t sent = 0;
        for (const PackageRequest& get : gets)
            sent += get.Sent;
        if (c.Faults[0] == 0)
        {
            for (const PackageRequest& get : gets)
                EXPECT_EQ(gets.front().Connection, get.Connection) << "all ranges over one connection";
            EXPECT_LE(sent * 100, staleBytes * 105) << "the gaps cost at most 5% more bytes";
        }
        if (c.RetryFrom >= 0)
        {
            EXPECT_EQ(made.Starts[static_cast<size_t>(c.RetryFrom)], gets[1].First)
                << "asked again from the first file that did not come whole";
            EXPECT_EQ(gets[0].Last, gets[1].Last);
        }
    }
}

TEST_F(PackageWorkerTest, ResumedPackageWritesEarlyOnlyFilesThatMatchTheirOwnChecksums)
{
    // A dropped transfer's retry and the next run alike go on from the bytes on disk. These
    // are taken on trust until the package verifies: the early writer checks each file of
    // the prefix by its own checksum. It looks only while the transfer runs, so the resumed
    // body waits before each piece: on loopback it would otherwise end before the writer's
    // first look, and nothing would be checked early at all.
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
        ForgetClient();
        std::string prefix = made.Package.substr(0, onDisk);
        if (c.Wrong)
            prefix[made.Starts[1] + 10] ^= 0x55;
        Put(Out("StartupT.pkg.td"), prefix + std::string(size - onDisk, '\0'));
        Put(ResumeRecordPath(*Context, "StartupT.pkg"), Std(MakeResumeRecord({size, "", onDisk})));
        DevServerRequests(true);
        ASSERT_TRUE(SetDevServerFaults("delay-ms=100&for-path=StartupT.pkg&times=1"));
        RenewContext();
        const size_t from = Log.Messages().size();
        ExpectUpdate(true);
        ExpectInstalled(client);
        EXPECT_FALSE(Files.IsFile(ResumeRecordPath(*Context, "StartupT.pkg")))
            << "the record goes with the finished transfer";
        if (!c.Wrong)
        {
            EXPECT_EQ(size, Context->Progress.PackageBytesReceived.load())
                << "resumed bytes count as received";
            EXPECT_EQ(size - onDisk, DevServerBytesSent("StartupT.pkg"));
            EXPECT_EQ(1u, Log.MessagesStartingWith("resuming StartupT.pkg at byte " + std::to_string(onDisk) +
                                                   " of " + std::to_string(size))
                              .size());
        }
        EXPECT_EQ(c.Firsts, Firsts(PackageGets()));
        for (const std::string& error : c.Errors)
            EXPECT_EQ(1u, Errors(error)) << error;
        EXPECT_EQ(c.Errors.size(), ErrorLinesSince(from));
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
    ASSERT_TRUE(launcher.Start({TestBinFolder() + "PackageUpdateChild", "update", Url(""), "StartupT",
                                Narrow(Publish()), Narrow(OutFolder())},
                               Narrow(OutFolder() + u"child.err")));
    // Killed once the record holds what the stall lets through, less at most one interval.
    ResumeRecord record;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (
        !(LoadResumeRecord(*Context, "StartupT.pkg", record) && record.Done + ResumeRecordInterval > stall) &&
        std::chrono::steady_clock::now() < deadline && launcher.Running())
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    kill(launcher.Pid(), SIGKILL);
    EXPECT_EQ(-1, launcher.Wait(5000)) << "ended by the kill";
    ASSERT_TRUE(LoadResumeRecord(*Context, "StartupT.pkg", record) &&
                record.Done + ResumeRecordInterval > stall)
        << ReadFileBytes(FsPath(OutFolder() + u"child.err"));
    EXPECT_EQ(size, record.Size);
    EXPECT_TRUE(Files.IsFile(Out("StartupT.pkg.td")));

    ExpectUpdate(true);
    ExpectInstalled(client);
    const uint64_t sent = DevServerBytesSent("StartupT.pkg");
    EXPECT_LE(sent * 100, size * 115) << "at most 1.15 times the package, not " << sent;
    const std::vector<PackageRequest> gets = PackageGets();
    ASSERT_EQ(2u, gets.size());
    EXPECT_EQ(record.Done, gets[1].First);
    EXPECT_EQ(size - 1, gets[1].Last);
    EXPECT_EQ(1u, Log.MessagesStartingWith("resuming StartupT.pkg at byte ").size());
}
#endif

namespace
{
// An emptied folder on a volume of 4 MiB: natively a tmpfs mounted for the case
// (root only, as CI has); under Wine the one scripts/test.sh names in LAUNCHER_TEST_SMALL_DISK.
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

// Files of the client's sizes that take no room (sparse), as if another program had filled the disk.
void PutSparse(const xWString& path, size_t size)
{
    ASSERT_TRUE(WriteFileBytes(FsPath(path), ""));
    std::filesystem::resize_file(FsPath(path), size);
}
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
    const std::string failed = "Package update failed: not enough free disk space";
    for (const Case& c : cases)
    {
        SCOPED_TRACE(c.What);
        RenewContext();
        Serve(MakePackage(c.Client));
        PackageJob job = Job();
        if (c.PublishOnSmall)
            job.PublishFolder = small + u"Publish/";
        Context->DownloadFolder = c.DownloadOnSmall ? small : OutFolder();
        DevServerRequests(true);
        const size_t failedBefore = Errors(failed);
        ExpectUpdate(false, job);
        Context->DownloadFolder = OutFolder();
        EXPECT_EQ(PackageFailureDiskFull, Context->Progress.PackageFailureReason.load());
        EXPECT_EQ(1u, Errors(c.Error)) << c.Error;
        EXPECT_EQ(failedBefore + 1, Errors(failed));
        const std::vector<std::string> asked = DevServerRequests(true);
        EXPECT_EQ(0u, Count(asked, GetPackage()) + Count(asked, "HEAD " + Path("StartupT.pkg")))
            << "nothing of the package is fetched";
        for (const ClientFile& file : c.Client)
            EXPECT_FALSE(Files.IsFile(Installed(file.Name, job.PublishFolder)));
        Files.DeleteDirectory(small + u"Publish/");
    }

    // An old package of the right size but no room seems to need none, and is
    // wrong: the transfer finds the disk full, once.
    {
        const std::vector<ClientFile> client = StoredClient("dl", 3, mebibyte * 3 / 2, 30u);
        Serve(MakePackage(client));
        Context->DownloadFolder = small;
        PutSparse(small + u"StartupT.pkg", client.size() * client[0].Bytes.size());
        RenewContext();
        DevServerRequests(true);
        ExpectUpdate(false);
        Context->DownloadFolder = OutFolder();
        EXPECT_EQ(PackageFailureDiskFull, Context->Progress.PackageFailureReason.load());
        EXPECT_EQ(1u, Errors("The download folder " + Narrow(small) + " is full"));
        EXPECT_EQ(1u, Asked(GetPackage())) << "a full disk is not asked again";
        for (const char16_t* name : {u"StartupT.pkg", u"StartupT.pkg.td", u"StartupT.pkg.resume"})
            Files.DeleteFile(small + name);
    }

    // A cut transfer's .td holds the whole package's room (NTFS allocates a file
    // whose last byte is written first; here every byte is written) while its
    // record counts only what arrived: that room is the package's, before the
    // update and after a transfer cut again.
    {
        const std::vector<ClientFile> client = StoredClient("td", 3, mebibyte, 40u);
        const TestPackage made = MakePackage(client);
        Serve(made);
        Context->DownloadFolder = small;
        Put(small + u"StartupT.pkg.td", made.Package.substr(0, mebibyte) + std::string(2 * mebibyte, '\0'));
        Put(small + u"StartupT.pkg.resume", MakeResumeRecord({made.Package.size(), "", mebibyte}).c_str());
        ASSERT_TRUE(SetDevServerFaults("drop-after=100000&for-path=StartupT.pkg&times=1"));
        RenewContext();
        ExpectUpdate(true);
        Context->DownloadFolder = OutFolder();
        ExpectInstalled(client);
        EXPECT_EQ(2u, Asked(GetPackage())) << "the cut transfer is resumed, not refused";
        Files.DeleteFile(small + u"StartupT.pkg");
    }

    // In the publish folder the third file finds the disk full.
    const std::vector<ClientFile> client = StoredClient("mid", 3, mebibyte * 3 / 2, 20u);
    Serve(MakePackage(client));
    PackageJob job = Job();
    job.PublishFolder = small + u"Publish/";
    for (const ClientFile& file : client)
        PutSparse(Installed(file.Name, job.PublishFolder), file.Bytes.size());
    Context->DecoderCount = 1;
    RenewContext();
    ExpectUpdate(false, job);
    EXPECT_EQ(PackageFailureDiskFull, Context->Progress.PackageFailureReason.load());
    EXPECT_EQ(1u, Errors("Writing mid/f2.dat failed: the disk is full"));
    EXPECT_EQ(1u, Errors("1 client files stay stale"));
    for (size_t i = 0; i < client.size(); ++i)
    {
        const std::string bytes = ReadFileBytes(FsPath(Installed(client[i].Name, job.PublishFolder)));
        EXPECT_TRUE(bytes == (i < 2 ? client[i].Bytes : std::string(client[i].Bytes.size(), '\0')))
            << client[i].Name << (i < 2 ? " is not the new file" : " is not the file it was");
    }
    EXPECT_EQ(0u, Temporaries(job.PublishFolder)) << "a temporary file was left behind";
}

namespace
{
// An archive whose new version rewrites a few records and inserts others.
struct ChunkedCase
{
    const char* Name;
    bool IndexServed;
    const char* IndexVersion; // the version the served index describes
    bool OldCopyAlike;        // the installed archive is the new one's earlier version
    uint32_t IndexedInsert;   // the inserted bytes' seed in the archive the index describes (8: the real one)
    const char* Way;          // in the last line: "(chunked way" or "(partial way"
};

const ChunkedCase ChunkedCases[] = {
    {"EditedArchiveFetchesOnlyTheMissingChunks", true, "T", true, 8, "(chunked way"},
    {"WithoutAnIndexTheFileGoesByItsRange", false, "T", true, 8, "(partial way"},
    {"ChunksDearerThanTheRangeGoByTheRange", true, "T", false, 8, "(partial way"},
    {"IndexOfAnotherVersionIsNotUsed", true, "U", true, 8, "(partial way"},
    // Right chunks that make another file than the manifest names: never put in place.
    {"FileOfOtherBytesGoesByItsRange", true, "T", true, 18, "(partial way"},
};

// gtest prints a failing row by its name.
void PrintTo(const ChunkedCase& c, std::ostream* out)
{
    *out << c.Name;
}

class ChunkedWayTest : public PackageWorkerTest, public ::testing::WithParamInterface<ChunkedCase>
{
};

INSTANTIATE_TEST_SUITE_P(Rows, ChunkedWayTest, ::testing::ValuesIn(ChunkedCases),
                         [](const ::testing::TestParamInfo<ChunkedCase>& info) { return info.param.Name; });
} // namespace

TEST_P(ChunkedWayTest, TakesTheCheaperWayAndWritesTheRightFile)
{
    const ChunkedCase& c = GetParam();
    const std::string old = PatternBytes(800000, 7);
    const auto edit = [&](uint32_t seed)
    {
        return old.substr(0, 200000) + PatternBytes(3000, seed) + old.substr(200000, 400000) +
               PatternBytes(5000, 9) + old.substr(605000);
    };
    const std::string edited = edit(8);
    // Fresh ballast keeps the stale share under half: no full way.
    const std::vector<ClientFile> client{
        {"readme.txt", "read me\n"}, {"Data/archive.bin", edited}, {"ballast.bin", PatternBytes(900000, 5)}};
    const TestPackage made = MakePackage(client);
    Serve(made);
    std::vector<ClientFile> indexed = client;
    indexed[1].Bytes = edit(c.IndexedInsert);
    const TestChunks chunks = MakeChunks(indexed, c.IndexVersion);
    if (c.IndexServed)
        Put(ServedFolder() + u"StartupT.chunks", chunks.Index);
    Put(ServedFolder() + Utf8ToWide(("Startup" + std::string(c.IndexVersion) + ".chunkpack").c_str()),
        chunks.Pack);
    Put(Installed("Data/archive.bin"), c.OldCopyAlike ? old : PatternBytes(800000, 99));
    Put(Installed("readme.txt"), "read me\n");
    Put(Installed("ballast.bin"), client[2].Bytes);
    DevServerRequests(true);

    ExpectUpdate(true);
    ExpectInstalled(client);
    std::string lines;
    for (const std::string& line : Log.Messages())
        lines += line + "\n";
    EXPECT_NE(lines.find(c.Way), std::string::npos) << lines;
    const bool chunked = std::string(c.Way) == "(chunked way";
    // Two edits cost a few chunks of 64 KiB on average, well below the whole file.
    EXPECT_EQ(chunked ? 0u : edited.size(), DevServerBytesSent("StartupT.pkg"));
    if (c.IndexedInsert == 8)
    {
        EXPECT_LE(DevServerBytesSent(".chunkpack"), chunked ? edited.size() / 2 : 0u);
    }
    EXPECT_EQ(Context->Progress.PackageBytesNeeded.load(), Context->Progress.PackageBytesReceived.load());
}
