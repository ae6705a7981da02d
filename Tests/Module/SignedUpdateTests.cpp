#include "LauncherDownloadCase.h"

#include "Crc32c.h"
#include "FileBytes.h"
#include "PackageProgress.h"
#include "PackageWorker.h"
#include "SelfUpdate.h"
#include "UpdateSignature.h"

#include <chrono>
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
        ResetPackageProgress();
        SetPackageRetryPolicy({2, 2, 2, std::chrono::milliseconds(10), std::chrono::milliseconds(20)});
    }
    void TearDown() override
    {
        SetUpdateVerifier(UpdateVerifier());
        SetPackageRetryPolicy(PackageRetryPolicy());
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
    size_t Refusals(const std::string& name) const
    {
        return Log.MessagesStartingWith("E Update signature refused for " + name + ":").size();
    }

    xWString Root;
};

enum class Kind
{
    Manifest,            // Startup<ver>.crc, read by the package worker
    VersionFile,         // ClientVersionSID.txt, read at the login
    LauncherVersionFile, // LauncherVersion.txt, read at the start
    LauncherBuild,       // qtmx<ver>.exe, started by the self-update
};

enum class Fault
{
    None,
    TamperedBytes, // one byte of the file changed after signing
    OtherKey,      // a good signature, by key b
    NoSignature,   // no .sig on the server
    OtherName,     // another file, with its own good signature, served under this name
};
const char* const FaultNames[] = {"Good", "Tampered", "OtherKey", "Unsigned", "AnotherFilesSigned"};

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
};

// The kind's and the fault's names in gtest's messages.
void PrintTo(Kind kind, std::ostream* out)
{
    *out << FilesOf[static_cast<int>(kind)].Label;
}
void PrintTo(Fault fault, std::ostream* out)
{
    *out << FaultNames[static_cast<int>(fault)];
}

class SignedUpdateCaseTest : public SignedUpdateTest,
                             public ::testing::WithParamInterface<std::tuple<Kind, Fault>>
{
protected:
    // Serves the case's file and signature as the fault says.
    void ServeCase(const KindFiles& files, Fault fault)
    {
        std::string bytes = Fixture(fault == Fault::OtherName ? files.OtherFile : files.File);
        std::string signature = Fixture((fault == Fault::OtherName ? files.OtherFile : files.File) + ".sig");
        ASSERT_EQ(UpdateSignatureSize, signature.size()) << "the publisher wrote no 64-byte signature";
        if (fault == Fault::TamperedBytes)
            bytes[bytes.size() / 2] ^= 0x01;
        if (fault == Fault::OtherKey)
            signature = Fixture(files.OtherKey);
        Serve(files.Name, bytes);
        if (fault != Fault::NoSignature)
            Serve(files.Name + ".sig", signature);
    }

    // Runs the launcher's step that takes the file; true when it took it.
    bool Take(Kind kind, const KindFiles& files)
    {
        switch (kind)
        {
        case Kind::Manifest:
        {
            ServeFixture("Startup1.0.5.pkg", "a/Startup1.0.5.pkg");
            const int code = PackageUpdateThread(Job());
            EXPECT_EQ(code == 0 ? PackageUpdateDone : PackageUpdateFailed, PackageUpdateState.load());
            return code == 0;
        }
        case Kind::VersionFile:
        {
            xString text;
            FetchSignedText(xString(Url(files.Name).c_str()), text);
            EXPECT_TRUE(text.IsEmpty() || text == "default=1.0.5") << text.c_str();
            return !text.IsEmpty();
        }
        case Kind::LauncherVersionFile:
        {
            const uint32_t newer = CheckLauncherVersion(xString(Url("").c_str()), 1000001);
            EXPECT_TRUE(newer == NoNewerLauncher || newer == 1000002) << newer;
            return newer != NoNewerLauncher;
        }
        case Kind::LauncherBuild:
        {
            // What the self-update does with the build before it starts it.
            const xString url(Url(files.Name).c_str());
            DownloadFile(url);
            EXPECT_TRUE(OutExists(files.Name)) << "the build did not arrive";
            return CheckUpdateFileSignature(url, xString(files.Name.c_str()), Out(files.Name));
        }
        }
        return false;
    }
};

TEST_P(SignedUpdateCaseTest, OnlyAGoodSignatureForTheNameIsTaken)
{
    const auto [kind, fault] = GetParam();
    const KindFiles& files = FilesOf[static_cast<int>(kind)];
    ServeCase(files, fault);
    if (HasFatalFailure())
        return;
    const bool good = fault == Fault::None;
    EXPECT_EQ(good, Take(kind, files));
    EXPECT_EQ(good ? 0u : 1u, Refusals(files.Name));
    if (fault == Fault::NoSignature)
    {
        EXPECT_TRUE(Log.Contains("E Update signature refused for " + files.Name +
                                 ": no signature; nothing is taken from it"));
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

INSTANTIATE_TEST_SUITE_P(Cases, SignedUpdateCaseTest,
                         ::testing::Combine(::testing::Values(Kind::Manifest, Kind::VersionFile,
                                                              Kind::LauncherVersionFile, Kind::LauncherBuild),
                                            ::testing::Values(Fault::None, Fault::TamperedBytes,
                                                              Fault::OtherKey, Fault::NoSignature,
                                                              Fault::OtherName)),
                         [](const auto& info)
                         {
                             return std::string(FilesOf[static_cast<int>(std::get<0>(info.param))].Label) +
                                    "_" + FaultNames[static_cast<int>(std::get<1>(info.param))];
                         });

// The signature reaches the client files through the manifest's SHA-256 sums: a
// package changed on the server never verifies, and the changed file is not
// written, even when both its 32-bit sums (the file's and the package's) were
// forced to the published ones.
TEST_F(SignedUpdateTest, ChangedFileUnderASignedManifestIsNeverWritten)
{
    const std::string published = Fixture("a/Startup1.0.5.pkg");
    // The last file in name order, noise.bin, is stored: its 40000 bytes end the package.
    const std::string noise = published.substr(published.size() - 40000);
    std::string flipped = noise;
    flipped.back() ^= 0x01;
    // Other bytes of the same length and CRC-32C: every sum over them is unchanged.
    std::string forced = PatternBytes(noise.size() - 4, 99u);
    uint8_t tail[4];
    Crc32cForcingBytes(Crc32c(forced.data(), forced.size()), Crc32c(noise.data(), noise.size()), tail);
    forced.append(reinterpret_cast<const char*>(tail), sizeof(tail));
    for (const std::string& changed : {flipped, forced})
    {
        SCOPED_TRACE(changed == forced ? "32-bit sums forced" : "one byte flipped");
        ServeFixture("Startup1.0.5.crc", "a/Startup1.0.5.crc");
        ServeFixture("Startup1.0.5.crc.sig", "a/Startup1.0.5.crc.sig");
        const std::string package = published.substr(0, published.size() - noise.size()) + changed;
        if (changed == forced)
        {
            ASSERT_EQ(Crc32c(published.data(), published.size()), Crc32c(package.data(), package.size()));
        }
        Serve("Startup1.0.5.pkg", package);
        EXPECT_EQ(-1, PackageUpdateThread(Job()));
        EXPECT_EQ(PackageUpdateFailed, PackageUpdateState.load());
        EXPECT_EQ(0u, Refusals("Startup1.0.5.crc"));
        EXPECT_EQ("", Installed("noise.bin")) << "a file that fails its sums was written";
    }
}

// A manifest without SHA-256 sums, as older publishers wrote them, under a good
// signature: a build with a key refuses it (its 32-bit sums vouch for nothing),
// a build without one takes it as before.
TEST_F(SignedUpdateTest, SignedManifestWithoutSha256IsTakenOnlyWithoutAKey)
{
    ServeFixture("Startup1.0.5.crc", "a/unhashed/Startup1.0.5.crc");
    ServeFixture("Startup1.0.5.crc.sig", "a/unhashed/Startup1.0.5.crc.sig");
    ServeFixture("Startup1.0.5.pkg", "a/Startup1.0.5.pkg");
    for (const bool keyed : {true, false})
    {
        SCOPED_TRACE(keyed ? "with a key" : "without a key");
        if (!keyed)
            SetUpdateVerifier(UpdateVerifier());
        EXPECT_EQ(keyed ? -1 : 0, PackageUpdateThread(Job()));
        EXPECT_EQ(keyed ? PackageUpdateFailed : PackageUpdateDone, PackageUpdateState.load());
        for (const char* name : ClientFiles)
            EXPECT_EQ(keyed ? std::string() : Fixture(std::string("client/") + name), Installed(name))
                << name;
    }
    EXPECT_EQ(
        1u, Log.MessagesStartingWith("E Manifest Startup1.0.5.crc names no SHA-256 for the package").size());
    EXPECT_EQ(0u, Refusals("Startup1.0.5.crc")) << "the signature itself is good";
}

// Without a key nothing changes: no signature is asked for, unsigned files are taken.
TEST_F(SignedUpdateTest, WithoutAKeyNothingIsCheckedOrFetched)
{
    SetUpdateVerifier(UpdateVerifier());
    ServeFixture("Startup1.0.5.crc", "a/Startup1.0.5.crc");
    ServeFixture("Startup1.0.5.pkg", "a/Startup1.0.5.pkg");
    ServeFixture("ClientVersionSID.txt", "a/ClientVersionSID.txt");
    ServeFixture("LauncherVersion.txt", "a/launcher/LauncherVersion.txt");
    EXPECT_EQ(0, PackageUpdateThread(Job()));
    xString text;
    FetchSignedText(xString(Url("ClientVersionSID.txt").c_str()), text);
    EXPECT_EQ("default=1.0.5", std::string(text.c_str()));
    EXPECT_EQ(1000002u, CheckLauncherVersion(xString(Url("").c_str()), 1000001));
    EXPECT_TRUE(CheckUpdateFileSignature(xString(Url("x.exe").c_str()), "x.exe", Out("missing.exe")));
    for (const std::string& request : DevServerRequests(true))
        EXPECT_EQ(std::string::npos, request.find(".sig")) << request;
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
