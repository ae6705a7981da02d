#include "LauncherDownloadCase.h"
#include "TestPackage.h"

#include "PackageProgress.h"
#include "PackageWorker.h"
#include "VersionFile.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

// Servers that break HTTP as real ones do, on the client update's full and
// partial ways and the version file: every row ends in time, with the right
// client (after retries) or a clear error line and Failed, never wrong bytes.

namespace
{
enum class Road
{
    FullWay,     // nothing installed: the whole package through DownloadFile
    PartialWay,  // one small file stale: its range through RangeFetcher
    VersionFile, // ClientVersionSID.txt through FetchText
    ChunkedWay,  // an archive edited in its middle: its missing chunks through RangeFetcher
};

enum class Outcome
{
    Whole,  // the right client, or the right version
    Failed, // Failed (or no version), with ErrorText among the error lines
};

struct HostileCase
{
    const char* Name;
    // Dev server faults; "{self}" and "{nginx}" stand for those servers' origins.
    std::string Faults;
    Road Way;
    Outcome Expected;
    // A piece of an expected error line, "a|b" for either; "" for none (a chunked
    // row without one must not fall back to the package).
    const char* ErrorText;
};

const std::string VersionLine = "default=1.0.5,7=1.0.4";

class HostileServerTest : public DownloadTestBase, public ::testing::WithParamInterface<HostileCase>
{
protected:
    void SetUp() override
    {
        StartCase(PeerKind::DevServer);
        if (IsSkipped() || HasFatalFailure())
            return;
        // Two tries of each kind, short pauses, short timeouts: every row ends in seconds.
        Context->RetryPolicy = {2, 2, 2, std::chrono::milliseconds(10), std::chrono::milliseconds(20)};
        ASSERT_NE(DownloadSession(), nullptr);
        DownloadSession()->SetTimeouts(2000, StallMs);
    }

    // The row's faults with the servers' origins in place, "" when one is not available.
    static std::string FaultQuery(std::string faults)
    {
        for (const auto& [name, kind] :
             {std::make_pair("{self}", PeerKind::DevServer), std::make_pair("{nginx}", PeerKind::Nginx)})
        {
            const size_t at = faults.find(name);
            const TestServer& other = GetTestServer(kind);
            if (at != std::string::npos && !other.Available)
                return std::string();
            if (at != std::string::npos)
                faults.replace(at, std::strlen(name), other.BaseUrl().substr(0, other.BaseUrl().size() - 1));
        }
        return faults;
    }

    xWString Publish() const { return OutFolder() + u"Publish/"; }
    std::string Installed(const std::string& name) const
    {
        return ReadFileBytes(FsPath(Publish() + Utf8ToWide(name.c_str())));
    }

    static constexpr uint32_t StallMs = 1500;
    // Three stored files: the partial way fetches only the small last one. The
    // chunked way's rows add an archive whose old copy lacks 2000 bytes in its
    // middle, and ballast that keeps it under half the package.
    static std::vector<ClientFile> ClientOf(Road way)
    {
        std::vector<ClientFile> client{{"big.bin", PatternBytes(60000, 1)},
                                       {"Data/mid.bin", PatternBytes(9000, 2)},
                                       {"small.txt", "small file\n"}};
        if (way != Road::ChunkedWay)
            return client;
        client.push_back({"archive.bin", OldArchive().insert(150000, PatternBytes(2000, 4))});
        client.push_back({"ballast.bin", PatternBytes(320000, 5)});
        return client;
    }
    static std::string OldArchive() { return PatternBytes(300000, 3); }
    // What a file held before the update.
    std::string Before(const ClientFile& file) const
    {
        if (file.Name == "archive.bin")
            return OldArchive();
        return GetParam().Way == Road::PartialWay && file.Name == "small.txt" ? "stale" : file.Bytes;
    }
    void ServeChunks()
    {
        const TestChunks chunks = MakeChunks(Client, "T");
        Serve("StartupT.chunks", chunks.Index);
        Serve("StartupT.chunkpack", chunks.Pack);
        // Another pack of the same size: every chunk in it is wrong.
        std::string other = chunks.Pack;
        for (char& byte : other)
            byte = static_cast<char>(byte ^ 0x5A);
        Serve("Other.chunkpack", other);
    }

    const std::vector<ClientFile> Client = ClientOf(GetParam().Way);
    const TestPackage Made = MakePackage(Client);
};

TEST_P(HostileServerTest, EndsRightOrWithAClearErrorInTime)
{
    const HostileCase& c = GetParam();
    Serve("StartupT.pkg", Made.Package);
    Serve("StartupT.crc", Lzma86Of(Made.Xml));
    // The file a changing server answers GETs with: a later build of another size.
    Serve("Other.pkg", Made.Package + "later build");
    Serve("ClientVersionSID.txt", VersionLine + "\r\nsecond line\r\n");
    const bool installed = c.Way == Road::PartialWay || c.Way == Road::ChunkedWay;
    for (const ClientFile& file : Client)
    {
        if (installed)
            Put(Publish() + Utf8ToWide(file.Name.c_str()), Before(file));
    }
    if (c.Way == Road::ChunkedWay)
        ServeChunks();
    const std::string query = FaultQuery(c.Faults);
    if (query.empty())
        GTEST_SKIP() << "a server the row names is not available";
    ASSERT_TRUE(SetDevServerFaults(query)) << query;
    DevServerRequests(true);

    const auto start = std::chrono::steady_clock::now();
    xString text = "unchanged";
    int result = 0;
    if (c.Way == Road::VersionFile)
    {
        FetchText(xString(Url("ClientVersionSID.txt").c_str()), text);
    }
    else
    {
        PackageJob job;
        job.BaseUrl = Url("").c_str();
        job.PackageName = "StartupT.pkg";
        job.ManifestName = "StartupT.crc";
        job.PublishFolder = Publish();
        result = PackageUpdateThread(*Context, job);
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    SetDevServerFaults("");

    // Two tries of a few stall times at most, the pauses between them, and
    // WinINet reading out the rest of a 100 MB body it was told to close.
    EXPECT_LT(seconds, 10.0 * StallMs / 1000) << "the row took too long";
    std::string errors;
    for (const std::string& line : Errors())
        errors += line + "\n";
    const bool whole = c.Expected == Outcome::Whole;
    if (c.Way == Road::VersionFile)
    {
        EXPECT_EQ(std::string(text.c_str()), whole ? VersionLine : std::string("unchanged"))
            << "the version file's first line, or nothing";
        EXPECT_EQ(std::string(ChooseClientVersion(text, "7").c_str()), whole ? "1.0.4" : "");
    }
    else
    {
        EXPECT_EQ(result, whole ? 0 : -1) << errors;
        EXPECT_EQ(Context->Progress.PackageUpdateState.load(),
                  whole ? PackageUpdateDone : PackageUpdateFailed);
        // Failed: what stays is a file of the client or what was there before, never wrong bytes.
        for (const ClientFile& file : Client)
        {
            const std::string bytes = Installed(file.Name);
            const bool before = !whole && (installed ? bytes == Before(file) : bytes.empty());
            EXPECT_TRUE(bytes == file.Bytes || before) << file.Name << " holds wrong bytes";
        }
    }
    if (c.Way == Road::ChunkedWay)
    {
        EXPECT_EQ(c.ErrorText[0] != 0, DevServerBytesSent("StartupT.pkg") > 0)
            << "the archive fell back to its range, or was made from chunks";
    }
    if (c.ErrorText[0] != 0)
    {
        // "a|b": either piece will do (the transports fail at different steps).
        bool found = false;
        std::istringstream pieces(c.ErrorText);
        for (std::string piece; std::getline(pieces, piece, '|');)
            found = found || errors.find(piece) != std::string::npos;
        EXPECT_TRUE(found) << "expected an error line with \"" << c.ErrorText << "\", got:\n" << errors;
    }
}

const HostileCase Cases[] = {
    // The HEAD's size is not the file's: every range answer names another total.
    {"HeadSaysLessThanTheFile", "head-length=1000&for-path=.pkg", Road::FullWay, Outcome::Failed,
     "wrong range in the answer"},
    // Bytes past Content-Length are never taken (nor taken for the next answer).
    {"RangeLongerThanItsLength", "extra-bytes=100&for-path=.pkg", Road::PartialWay, Outcome::Whole, ""},
    // A body that ends early is fetched again; one that always does fails the update.
    {"BodyShorterOnce", "drop-after=20000&for-path=.pkg&times=1", Road::FullWay, Outcome::Whole, ""},
    {"BodyAlwaysShorter", "drop-after=5&for-path=.pkg", Road::PartialWay, Outcome::Failed, "stay stale"},
    // Bytes altered on the way, the length right: never written.
    {"RangeAlwaysAltered", "corrupt-at=69003&for-path=.pkg", Road::PartialWay, Outcome::Failed,
     "came altered"},
    // The whole file for a range: the range is read out of it.
    {"WholeFileForARange", "ignore-range=1&for-path=.pkg", Road::PartialWay, Outcome::Whole, ""},
    // A 206 for other bytes than asked is refused.
    {"OtherBytesThanAsked", "shift-range=100&for-path=.pkg", Road::PartialWay, Outcome::Failed,
     "wrong range in the answer"},
    // A redirect loop ends in the transport, whichever file it is.
    {"RedirectLoopOnTheVersionFile", "redirect-to={self}&for-path=.txt", Road::VersionFile, Outcome::Failed,
     "no answer"},
    // Another server holding the same files is followed.
    {"RedirectToAnotherHost", "redirect-to={nginx}&for-path=.pkg", Road::FullWay, Outcome::Whole, ""},
    // Chunked bodies are HTTP/1.1 and fine.
    {"ChunkedRange", "chunked=1&for-path=.pkg", Road::PartialWay, Outcome::Whole, ""},
    {"ChunkedVersionFile", "chunked=1&for-path=.txt", Road::VersionFile, Outcome::Whole, ""},
    // An encoding nobody asked for is not the file's bytes.
    {"GzipPackage", "gzip=1&for-path=.pkg", Road::FullWay, Outcome::Failed, "Content-Encoding"},
    {"GzipVersionFile", "gzip=1&for-path=.txt", Road::VersionFile, Outcome::Failed, "Content-Encoding"},
    // A server that always resets fails the update.
    {"ResetMidPackageAlways", "reset-after=1000&for-path=.pkg", Road::FullWay, Outcome::Failed,
     "read data failed|no answer|ended after"},
    // A header block that never ends is no answer.
    {"HeadersNeverEndOnTheVersionFile", "endless-headers=1&for-path=.txt", Road::VersionFile, Outcome::Failed,
     "no answer"},
    {"HeadersNeverEndOnThePackage", "endless-headers=1&for-path=.pkg", Road::FullWay, Outcome::Failed,
     "no answer"},
    // A byte a second is a stall, not a download.
    {"TricklingPackage", "trickle-ms=1000&for-path=.pkg", Road::FullWay, Outcome::Failed, "too slow"},
    // Sizes no disk holds are refused before any space is set aside.
    {"ContentLengthTwoToTheSixtyThird", "head-length=9223372036854775808&for-path=.pkg", Road::FullWay,
     Outcome::Failed, "no usable size"},
    {"ContentLengthLargestSigned", "head-length=9223372036854775807&for-path=.pkg", Road::FullWay,
     Outcome::Failed, "more than the"},
    // The first line of a huge version file is all that is read; a huge manifest is refused.
    {"HundredMegabyteVersionFile", "pad-to=104857600&for-path=.txt", Road::VersionFile, Outcome::Whole, ""},
    {"HundredMegabyteManifest", "pad-to=104857600&for-path=.crc", Road::FullWay, Outcome::Failed,
     "more than the"},
    // A file that changes between HEAD and GET is refused.
    {"FileKeepsChangingBetweenHeadAndGet", "serve-instead=Other.pkg&for-path=T.pkg", Road::PartialWay,
     Outcome::Failed, "wrong range in the answer"},
    // The chunked way: an index, pack or chunk that cannot be used leaves the
    // archive to its range, with a line that says why; a pack that answers
    // oddly but brings the right bytes is used.
    {"DamagedChunkIndex", "corrupt-at=0&for-path=.chunks", Road::ChunkedWay, Outcome::Whole, "is not used"},
    {"ChunkIndexCutShort", "drop-after=50&for-path=.chunks", Road::ChunkedWay, Outcome::Whole, "Chunk index"},
    {"ChunkIndexOfAHundredMegabytes", "head-length=104857600&for-path=.chunks", Road::ChunkedWay,
     Outcome::Whole, "is larger than"},
    {"ChunkPackMissing", "status=404&for-path=.chunkpack", Road::ChunkedWay, Outcome::Whole,
     "is not there at the size"},
    {"ChunksAlteredOnTheWay", "serve-instead=Other.chunkpack&for-path=T.chunkpack", Road::ChunkedWay,
     Outcome::Whole, "came back short or altered"},
    {"ChunkRangesAlwaysShort", "drop-after=5&for-path=.chunkpack", Road::ChunkedWay, Outcome::Whole,
     "could not be made from chunks"},
    {"TricklingChunkPack", "trickle-ms=1000&for-path=.chunkpack", Road::ChunkedWay, Outcome::Whole,
     "could not be made from chunks"},
    {"ChunkRangeLongerThanItsLength", "extra-bytes=100&for-path=.chunkpack", Road::ChunkedWay, Outcome::Whole,
     ""},
    {"WholeChunkPackForARange", "ignore-range=1&for-path=.chunkpack", Road::ChunkedWay, Outcome::Whole, ""},
};

// gtest prints a failing row by its name, not by its bytes.
void PrintTo(const HostileCase& c, std::ostream* out)
{
    *out << c.Name;
}

INSTANTIATE_TEST_SUITE_P(Rows, HostileServerTest, ::testing::ValuesIn(Cases),
                         [](const ::testing::TestParamInfo<HostileCase>& info) { return info.param.Name; });
} // namespace
