#include "LauncherDownloadCase.h"

#include "Crc32c.h"
#include "FileBytes.h"
#include "FontInstall.h"
#include "PackageProgress.h"
#include "PackageWorker.h"
#include "SelfUpdate.h"
#include "SignedVersionFile.h"
#include "UpdateSignature.h"

#include <algorithm>
#include <chrono>
#if defined(__linux__)
#include <sys/inotify.h>
#include <unistd.h>
#endif
#include <ctime>
#include <ostream>
#include <tuple>
#include <string>
#include <vector>

// Signed updates against the dev server: files and signatures made by the native
// publisher (OpenSSL, Support/make-signed-updates.sh), checked by the launcher's
// verifier (OpenSSL natively, CNG under Wine) with the publisher's key a.

namespace
{
const char* const ClientFiles[] = {"data/settings.ini", "data/text.txt", "noise.bin"};

class SignedUpdateTest : public DownloadTestBase
{
protected:
    void SetUp() override
    {
        StartCase(PeerKind::DevServer);
        if (IsSkipped() || HasFatalFailure())
            return;
        const SignedUpdates& signedUpdates = GetSignedUpdates();
        if (!signedUpdates.Available)
            GTEST_SKIP() << "no signed updates: " << signedUpdates.Problem;
        Root = signedUpdates.Root;
        const std::string key = Fixture("key-a/update-key.pub");
        std::vector<uint8_t> point;
        ParseUpdatePublicKey(xString(key.substr(0, key.find('\n')).c_str()), point);
        ASSERT_EQ(UpdatePublicKeySize, point.size()) << "publish keygen wrote no key the launcher reads";
        SetUpdateVerifier(UpdateVerifier(point));
        Context->RetryPolicy = {2, 2, 2, std::chrono::milliseconds(10), std::chrono::milliseconds(20)};
    }
    void TearDown() override
    {
        ResetFontInstall();
        SetUpdateVerifier(UpdateVerifier());
        DownloadTestBase::TearDown();
    }

    std::string Fixture(const std::string& path) const
    {
        return ReadFileBytes(FsPath(Root + Utf8ToWide(path.c_str())));
    }
    void ServeFixture(const std::string& name, const std::string& path) { Serve(name, Fixture(path)); }

    PackageJob Job() const
    {
        PackageJob job;
        job.BaseUrl = Url("").c_str();
        job.PackageName = "Startup1.0.5.pkg";
        job.ManifestName = "Startup1.0.5.crc";
        job.PublishFolder = OutFolder() + u"Publish/";
        return job;
    }
    std::string Installed(const std::string& name) const { return OutText("Publish/" + name); }
    // Refusals of the signature, and of a signed version file's stamp.
    size_t Refusals(const std::string& name) const
    {
        return Log.MessagesStartingWith("E Update signature refused for " + name + ":").size() +
               Log.MessagesStartingWith("E Version file " + name + " refused: ").size();
    }
    // The font thread as the start-up runs it, without a system font; true when
    // it installed simhei.ttf.
    bool InstallFont()
    {
        ResetFontInstall();
        FontPlaces places = FontPlacesFor(*Context, xString(Url("").c_str()));
        places.SystemFont = xWString();
        FontInstallThread(*Context, places);
        return FontInstallState.load() == FontInstallDone;
    }

    xWString Root;
};

enum class Kind
{
    Manifest,            // Startup<ver>.crc, read by the package worker
    VersionFile,         // ClientVersionSID.txt, read at the login
    LauncherVersionFile, // LauncherVersion.txt, read at the start
    LauncherBuild,       // qtmx<ver>.exe, started by the self-update
    Font,                // simhei.fnt, unpacked and loaded by the game
    ChunkIndex,          // Startup<ver>.chunks, read by the package worker's chunked way
};

enum class Fault
{
    None,
    TamperedBytes, // one byte of the file changed after signing
    OtherKey,      // a good signature, by key b
    NoSignature,   // no .sig on the server
    OtherName,     // another file, with its own good signature, served under this name
    // Signed version files whose stamp does not do (Support/make-signed-updates.sh):
    Replayed,  // an older serial than the one accepted before (15; the good file has 20)
    Expired,   // expired in 2001
    Unstamped, // signed as before stamps
};
const char* const FaultNames[] = {"Good",     "Tampered", "OtherKey", "Unsigned", "AnotherFilesSigned",
                                  "Replayed", "Expired",  "Unstamped"};
// Where the stamp faults' files lie, beside the good ones' place.
const char* const StampFolders[] = {"", "", "", "", "", "replay/", "expired/", "unstamped/"};
// The serial a client version file case starts from (accepted before), and the good file's.
constexpr uint64_t AcceptedBefore = 15;
constexpr uint64_t GoodSerial = 20;

// Per kind: the name served and signed, the file signed by key a (.sig beside
// it), the same bytes' signature by key b, another file signed under its own name.
struct KindFiles
{
    const char* Label;
    std::string Name, File, OtherKey, OtherFile;
};
const KindFiles FilesOf[] = {
    {"Manifest", "Startup1.0.5.crc", "a/Startup1.0.5.crc", "b/Startup1.0.5.crc.sig", "a/Startup1.0.6.crc"},
    {"VersionFile", "ClientVersionSID.txt", "a/ClientVersionSID.txt", "b/ClientVersionSID.txt.sig",
     "a/launcher/Other.txt"},
    {"LauncherVersionFile", "LauncherVersion.txt", "a/launcher/LauncherVersion.txt",
     "b/launcher/LauncherVersion.txt.sig", "a/launcher/Other.txt"},
    {"LauncherBuild", "qtmx1000002.exe", "a/launcher/qtmx1000002.exe", "b/launcher/qtmx1000002.exe.sig",
     "a/launcher/qtmx1000001.exe"},
    {"Font", "simhei.fnt", "a/simhei.fnt", "b/simhei.fnt.sig", "a/launcher/Other.txt"},
    {"ChunkIndex", "Startup1.0.5.chunks", "a/Startup1.0.5.chunks", "b/Startup1.0.5.chunks.sig",
     "a/Startup1.0.6.chunks"},
};

// The kind's and the fault's names in gtest's messages and test names.
void PrintTo(Kind kind, std::ostream* out)
{
    *out << FilesOf[static_cast<int>(kind)].Label;
}
void PrintTo(Fault fault, std::ostream* out)
{
    *out << FaultNames[static_cast<int>(fault)];
}
std::string CaseName(const ::testing::TestParamInfo<std::tuple<Kind, Fault>>& info)
{
    return std::string(FilesOf[static_cast<int>(std::get<0>(info.param))].Label) + "_" +
           FaultNames[static_cast<int>(std::get<1>(info.param))];
}

// Whether a file ever took `name` in `folder` while the watch was on: a file
// must not stand under its name before its bytes were checked, not even for the
// moment before a check throws it away. Natively only (inotify); elsewhere it
// is not Watching.
class NameWatch
{
public:
    NameWatch(const xWString& folder, const std::string& name) : Name(name)
    {
#if defined(__linux__)
        Fd = inotify_init1(IN_NONBLOCK);
        if (Fd >= 0)
            inotify_add_watch(Fd, Narrow(folder).c_str(), IN_CREATE | IN_MOVED_TO);
#else
        (void)folder;
#endif
    }
    ~NameWatch()
    {
#if defined(__linux__)
        if (Fd >= 0)
            close(Fd);
#endif
    }
    bool Watching() const
    {
        return Fd >= 0;
    }
    bool Appeared() const
    {
        bool appeared = false;
#if defined(__linux__)
        alignas(inotify_event) char buffer[4096];
        for (ssize_t got; Fd >= 0 && (got = read(Fd, buffer, sizeof(buffer))) > 0;)
            for (ssize_t at = 0; at < got;)
            {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                appeared = appeared || (event->len > 0 && Name == event->name);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
#endif
        return appeared;
    }

private:
    std::string Name;
    int Fd = -1;
};

class SignedUpdateCaseTest : public SignedUpdateTest,
                             public ::testing::WithParamInterface<std::tuple<Kind, Fault>>
{
protected:
    // Serves the case's file and signature as the fault says.
    void ServeCase(const KindFiles& files, Fault fault)
    {
        std::string file = fault == Fault::OtherName ? files.OtherFile : files.File;
        file.insert(2, StampFolders[static_cast<int>(fault)]); // after "a/"
        std::string bytes = Fixture(file);
        std::string signature = Fixture(file + ".sig");
        ASSERT_EQ(UpdateSignatureSize, signature.size()) << "the publisher wrote no 64-byte signature";
        if (fault == Fault::TamperedBytes)
            bytes[bytes.size() / 2] ^= 0x01;
        if (fault == Fault::OtherKey)
            signature = Fixture(files.OtherKey);
        Serve(files.Name, bytes);
        if (fault != Fault::NoSignature)
            Serve(files.Name + ".sig", signature);
    }

    // The client installed but for noise.bin's last bytes; true when the update
    // went to the chunk pack. Either way the client ends whole.
    bool UpdateByChunks()
    {
        for (const char* name :
             {"Startup1.0.5.crc", "Startup1.0.5.crc.sig", "Startup1.0.5.pkg", "Startup1.0.5.chunkpack"})
            ServeFixture(name, std::string("a/") + name);
        for (const char* name : ClientFiles)
            Put(Out(std::string("Publish/") + name), Fixture(std::string("client/") + name));
        std::string old = Fixture("client/noise.bin");
        std::fill(old.end() - 5000, old.end(), '\0');
        Put(Out("Publish/noise.bin"), old);
        DevServerRequests(true);
        EXPECT_EQ(0, PackageUpdateThread(*Context, Job()));
        for (const char* name : ClientFiles)
            EXPECT_EQ(Fixture(std::string("client/") + name), Installed(name)) << name;
        const std::vector<std::string> requests = DevServerRequests(false);
        return std::any_of(requests.begin(), requests.end(),
                           [&](const std::string& request)
                           { return request.rfind("GET " + Path("Startup1.0.5.chunkpack") + " ", 0) == 0; });
    }

    // Runs the launcher's step that takes the file; true when it took it.
    bool Take(Kind kind, const KindFiles& files)
    {
        switch (kind)
        {
        case Kind::Manifest:
        {
            ServeFixture("Startup1.0.5.pkg", "a/Startup1.0.5.pkg");
            const int code = PackageUpdateThread(*Context, Job());
            EXPECT_EQ(code == 0 ? PackageUpdateDone : PackageUpdateFailed,
                      Context->Progress.PackageUpdateState.load());
            return code == 0;
        }
        case Kind::VersionFile:
        {
            const VersionFileAnswer answer =
                FetchVersionFile(*Context, xString(Url(files.Name).c_str()), VersionFileKind::ClientVersions,
                                 std::time(nullptr));
            const bool taken = answer.Verdict == VersionFileVerdict::Taken;
            EXPECT_EQ(taken ? "default=1.0.5" : "", Std(answer.Line));
            // The serial taken is remembered; a refused file's is not.
            EXPECT_EQ(taken ? GoodSerial : AcceptedBefore, LoadAcceptedSerial(*Context));
            return taken;
        }
        case Kind::LauncherVersionFile:
        {
            const uint32_t newer = CheckLauncherVersion(*Context, xString(Url("").c_str()), 1000001);
            EXPECT_TRUE(newer == NoNewerLauncher || newer == 1000002) << newer;
            return newer != NoNewerLauncher;
        }
        case Kind::LauncherBuild:
            return FetchLauncherBuild(*Context, xString(Url(files.Name).c_str()), Out(files.Name)) != nullptr;
        case Kind::ChunkIndex:
            return UpdateByChunks();
        case Kind::Font:
        {
            const bool installed = InstallFont();
            EXPECT_EQ(installed, OutExists("simhei.ttf")) << "a font was written from a refused simhei.fnt";
            return installed;
        }
        }
        return false;
    }
};

TEST_P(SignedUpdateCaseTest, OnlyAGoodSignatureForTheNameIsTaken)
{
    const auto [kind, fault] = GetParam();
    const KindFiles& files = FilesOf[static_cast<int>(kind)];
    ASSERT_TRUE(RaiseAcceptedSerial(*Context, AcceptedBefore));
    ServeCase(files, fault);
    if (HasFatalFailure())
        return;
    const bool good = fault == Fault::None;
    // An earlier font stays when a new one is refused: only checked bytes replace it.
    const std::string earlier = "an earlier simhei.fnt";
    if (kind == Kind::Font)
        Put(Out(files.Name), earlier);
    const NameWatch watch(OutFolder(), files.Name);
    EXPECT_EQ(good, Take(kind, files));
    const bool landsOnDisk = kind == Kind::Manifest || kind == Kind::LauncherBuild || kind == Kind::Font;
    if (watch.Watching())
    {
        EXPECT_EQ(good && landsOnDisk, watch.Appeared()) << files.Name << " took its name unchecked";
    }
    // The font is tried three times, each time refused.
    EXPECT_EQ(good ? 0u : kind == Kind::Font ? size_t(FontInstallAttempts) : 1u, Refusals(files.Name));
    if (fault == Fault::NoSignature)
    {
        EXPECT_TRUE(Log.Contains("E Update signature refused for " + files.Name +
                                 ": no signature; nothing is taken from it"));
    }
    if (kind == Kind::LauncherBuild || kind == Kind::Font)
    {
        // Refused, the download is removed with its temporary file; without a
        // signature it was never asked for.
        if (kind == Kind::Font && !good)
        {
            EXPECT_EQ(earlier, OutText(files.Name));
        }
        else
        {
            EXPECT_EQ(good, OutExists(files.Name));
        }
        EXPECT_FALSE(OutExists(files.Name + ".td"));
        const std::vector<std::string> requests = DevServerRequests(false);
        const bool fetched = std::any_of(requests.begin(), requests.end(),
                                         [&](const std::string& request)
                                         { return request.rfind("GET " + Path(files.Name) + " ", 0) == 0; });
        EXPECT_EQ(fault != Fault::NoSignature, fetched);
    }
    if (kind == Kind::Manifest)
    {
        for (const char* name : ClientFiles)
            EXPECT_EQ(good ? Fixture(std::string("client/") + name) : std::string(), Installed(name))
                << name << (good ? " was not installed" : " was written from a refused manifest");
        // A refused manifest does not stay in the download folder either.
        EXPECT_EQ(good, OutExists(files.Name));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SignedUpdateCaseTest,
    ::testing::Combine(::testing::Values(Kind::Manifest, Kind::VersionFile, Kind::LauncherVersionFile,
                                         Kind::LauncherBuild, Kind::Font, Kind::ChunkIndex),
                       ::testing::Values(Fault::None, Fault::TamperedBytes, Fault::OtherKey,
                                         Fault::NoSignature, Fault::OtherName)),
    CaseName);

// A signature carries no order and no age: replayed, expired and unstamped
// version files are refused all the same.
INSTANTIATE_TEST_SUITE_P(Stamps, SignedUpdateCaseTest,
                         ::testing::Values(std::make_tuple(Kind::VersionFile, Fault::Replayed),
                                           std::make_tuple(Kind::VersionFile, Fault::Expired),
                                           std::make_tuple(Kind::VersionFile, Fault::Unstamped),
                                           std::make_tuple(Kind::LauncherVersionFile, Fault::Expired),
                                           std::make_tuple(Kind::LauncherVersionFile, Fault::Unstamped)),
                         CaseName);

// The signature reaches the client files through the manifest's SHA-256 sums: a
// package changed on the server never verifies, and the changed file is not
// written, even when both its 32-bit sums (the file's and the package's) were
// forced to the published ones. A manifest without SHA-256 sums, as older
// publishers wrote them, under a good signature: a build with a key refuses it
// (its 32-bit sums vouch for nothing); WithoutAKeyNothingIsCheckedOrFetched takes it.
TEST_F(SignedUpdateTest, ChangedFileUnderASignedManifestIsNeverWritten)
{
    const std::string published = Fixture("a/Startup1.0.5.pkg");
    // The last file in name order, noise.bin, is stored: its 400000 bytes end the package.
    const std::string noise = published.substr(published.size() - 40000);
    std::string flipped = noise;
    flipped.back() ^= 0x01;
    // Other bytes of the same length and CRC-32C: every sum over them is unchanged.
    std::string forced = PatternBytes(noise.size() - 4, 99u);
    uint8_t tail[4];
    Crc32cForcingBytes(Crc32c(forced.data(), forced.size()), Crc32c(noise.data(), noise.size()), tail);
    forced.append(reinterpret_cast<const char*>(tail), sizeof(tail));
    const std::string head = published.substr(0, published.size() - noise.size());
    // Each row: its name, the manifest's folder among the fixtures, the package, and the
    // error line naming the refusal (null: none, and only noise.bin is checked). The
    // unhashed manifest comes first, so that no earlier row has installed a file.
    const std::tuple<const char*, const char*, std::string, const char*> rows[] = {
        {"no SHA-256 in the manifest", "a/unhashed/", published,
         "E Manifest Startup1.0.5.crc names no SHA-256 for the package"},
        {"one byte flipped", "a/", head + flipped, nullptr},
        {"32-bit sums forced", "a/", head + forced, nullptr}};
    ASSERT_EQ(Crc32c(published.data(), published.size()), Crc32c((head + forced).data(), published.size()));
    for (const auto& [what, folder, package, error] : rows)
    {
        SCOPED_TRACE(what);
        ServeFixture("Startup1.0.5.crc", folder + std::string("Startup1.0.5.crc"));
        ServeFixture("Startup1.0.5.crc.sig", folder + std::string("Startup1.0.5.crc.sig"));
        Serve("Startup1.0.5.pkg", package);
        EXPECT_EQ(-1, PackageUpdateThread(*Context, Job()));
        EXPECT_EQ(PackageUpdateFailed, Context->Progress.PackageUpdateState.load());
        EXPECT_EQ(0u, Refusals("Startup1.0.5.crc")) << "the signature itself is good";
        EXPECT_EQ("", Installed("noise.bin")) << "a file that fails its sums was written";
        for (const char* name : ClientFiles)
            EXPECT_TRUE(error == nullptr || Installed(name).empty()) << name;
        if (error != nullptr)
        {
            EXPECT_EQ(1u, Log.MessagesStartingWith(error).size());
        }
    }
}

// Without a key nothing changes: no signature is asked for, unsigned files are
// taken (a manifest without SHA-256 sums too), and so are stamped ones whatever their stamp says.
TEST_F(SignedUpdateTest, WithoutAKeyNothingIsCheckedOrFetched)
{
    const UpdateVerifier key = GetUpdateVerifier();
    SetUpdateVerifier(UpdateVerifier());
    ServeFixture("Startup1.0.5.crc", "a/unhashed/Startup1.0.5.crc");
    ServeFixture("Startup1.0.5.pkg", "a/Startup1.0.5.pkg");
    EXPECT_EQ(0, PackageUpdateThread(*Context, Job()));
    for (const char* name : ClientFiles)
        EXPECT_EQ(Fixture(std::string("client/") + name), Installed(name)) << name;
    // Stamps are not read: expired files are taken, and no serial is remembered.
    ServeFixture("ClientVersionSID.txt", "a/expired/ClientVersionSID.txt");
    const VersionFileAnswer answer = FetchVersionFile(*Context, xString(Url("ClientVersionSID.txt").c_str()),
                                                      VersionFileKind::ClientVersions, std::time(nullptr));
    EXPECT_EQ("default=1.0.5", Std(answer.Line));
    EXPECT_FALSE(OutExists(AcceptedSerialFileName));
    ServeFixture("LauncherVersion.txt", "a/expired/launcher/LauncherVersion.txt");
    EXPECT_EQ(1000002u, CheckLauncherVersion(*Context, xString(Url("").c_str()), 1000001));
    ServeFixture("qtmx1000002.exe", "a/launcher/qtmx1000002.exe");
    EXPECT_TRUE(
        FetchLauncherBuild(*Context, xString(Url("qtmx1000002.exe").c_str()), Out("qtmx1000002.exe")));
    ServeFixture("simhei.fnt", "a/simhei.fnt");
    EXPECT_TRUE(InstallFont());
    for (const std::string& request : DevServerRequests(true))
        EXPECT_EQ(std::string::npos, request.find(".sig")) << request;

    // The verified state the client was installed with vouches for no
    // manifest a key has not checked: with one, the unhashed manifest is refused.
    SetUpdateVerifier(key);
    ServeFixture("Startup1.0.5.crc.sig", "a/unhashed/Startup1.0.5.crc.sig");
    EXPECT_EQ(-1, PackageUpdateThread(*Context, Job()));
    EXPECT_EQ(
        1u, Log.MessagesStartingWith("E Manifest Startup1.0.5.crc names no SHA-256 for the package").size());
}
} // namespace

// The pieces, without a server.
TEST(UpdateSignature, PublicKeyTextIsTheUncompressedPointInHex)
{
    const std::string point = "04" + std::string(128, 'a');
    struct
    {
        std::string Text;
        bool Taken;
    } const cases[] = {
        {point, true},
        {"04" + std::string(128, 'F'), true},
        {"", false},
        {point.substr(2), false},                    // 64 bytes: no prefix
        {"02" + std::string(128, 'a'), false},       // not uncompressed
        {point + "00", false},                       // too long
        {"04" + std::string(127, 'a') + "g", false}, // not hex
    };
    for (const auto& row : cases)
    {
        std::vector<uint8_t> parsed;
        EXPECT_EQ(row.Taken, ParseUpdatePublicKey(xString(row.Text.c_str()), parsed)) << row.Text;
        EXPECT_EQ(row.Taken ? UpdatePublicKeySize : 0u, parsed.size()) << row.Text;
    }
}

TEST(UpdateSignature, MessageBindsTheNameToTheBytes)
{
    const uint8_t bytes[] = {'a', 0, 'b'};
    const std::vector<uint8_t> message = UpdateSignedMessage("N.crc", bytes, sizeof(bytes));
    const std::string expected =
        std::string("launcher-update-signature-v1") + '\0' + "N.crc" + '\0' + "a" + '\0' + "b";
    EXPECT_EQ(expected, std::string(message.begin(), message.end()));
    // Off accepts anything; on, a signature of the wrong length is refused before any check.
    const std::vector<uint8_t> shortSignature(63, 0);
    EXPECT_EQ(SignatureCheck::Good, UpdateVerifier().Check("N.crc", bytes, sizeof(bytes), nullptr));
    const UpdateVerifier on(std::vector<uint8_t>(UpdatePublicKeySize, 4));
    EXPECT_EQ(SignatureCheck::Missing, on.Check("N.crc", bytes, sizeof(bytes), nullptr));
    EXPECT_EQ(SignatureCheck::Malformed, on.Check("N.crc", bytes, sizeof(bytes), &shortSignature));
}
