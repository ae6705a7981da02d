#include "Crc32c.h"
#include "EngineText.h"
#include "FileBytes.h"
#include "PackageCheck.h"
#include "Sha256.h"
#include "TempFolder.h"
#include "Xxh32.h"

#include <gtest/gtest.h>

#include <string>

TEST(PackageCheck, FileMatchesBySizeAndTheNamedHash)
{
    const xEngineFileSystem files;
    TempFolder folder;
    // Larger than one read piece, so the pieces are chained.
    const std::string bytes = PatternBytes(3 * 1024 * 1024 + 17);
    ASSERT_TRUE(WriteFileBytes(folder.At("data/a.bin"), bytes));
    ASSERT_TRUE(WriteFileBytes(folder.At("empty"), ""));
    const xWString path = Wide(folder.At("data/a.bin"));
    const uint32_t crc = Crc32c(bytes.data(), bytes.size());
    const uint32_t xx = Xxh32(bytes.data(), bytes.size());

    EXPECT_TRUE(VerifyFile(files, path, bytes.size(), crc, false));
    EXPECT_TRUE(VerifyFile(files, path, bytes.size(), xx, true));
    EXPECT_FALSE(VerifyFile(files, path, bytes.size(), crc, true)) << "xx present: the CRC does not count";
    EXPECT_FALSE(VerifyFile(files, path, bytes.size() - 1, crc, false));
    // Bytes appended after the expected size: the first bytes still carry the right sum.
    ASSERT_TRUE(WriteFileBytes(folder.At("longer.bin"), bytes + "tail"));
    EXPECT_FALSE(VerifyFile(files, Wide(folder.At("longer.bin")), bytes.size(), crc, false));
    EXPECT_FALSE(VerifyFile(files, path, bytes.size(), crc ^ 1, false));
    EXPECT_FALSE(VerifyFile(files, Wide(folder.At("missing")), 0, 0, false));
    EXPECT_FALSE(VerifyFile(files, Wide(folder.At("data")), 0, 0, false)) << "a folder is no file";
    EXPECT_TRUE(VerifyFile(files, Wide(folder.At("empty")), 0, Crc32c(nullptr, 0), false));
    EXPECT_TRUE(VerifyFile(files, Wide(folder.At("empty")), 0, Xxh32(nullptr, 0), true));

    // A SHA-256 named beside the 32-bit sum must match too.
    ExpectedContent strong;
    strong.Size = bytes.size();
    strong.Crc32c = crc;
    strong.Sha256Present = true;
    strong.Sha256 = Sha256::Of(bytes.data(), bytes.size()).value();
    EXPECT_TRUE(VerifyFile(files, path, strong));
    strong.Sha256[31] ^= 1;
    EXPECT_FALSE(VerifyFile(files, path, strong)) << "a right 32-bit sum does not do alone";
    strong.Sha256[31] ^= 1;
    strong.Crc32c ^= 1;
    EXPECT_FALSE(VerifyFile(files, path, strong)) << "a right SHA-256 does not do alone";
}

TEST(PackageCheck, ManifestNamesStayInsideThePublishFolder)
{
    const char16_t* good[] = {u"game.exe",   u"bin/x64/a.dll", u"\u6570\u636E/a.dat",    u"a..b/c", u"..a",
                              u"\u015C.txt", u"console/a",     u"data/Launcher.verified"};
    for (const char16_t* name : good)
        EXPECT_TRUE(IsSafeManifestName(name)) << xString(xWString(name)).c_str();
    const char16_t* bad[] = {u"",
                             u"/etc/passwd",
                             u"C:/Windows/x.dll",
                             u"a/../../b",
                             u"..",
                             u"a/./b",
                             u"a\\b",
                             u"a//b",
                             u"a/",
                             u"file.txt:stream",
                             u"a\u0001b",
                             u"./a",
                             u"a/con.txt",
                             u"NUL",
                             u"a./b",
                             u"b /c",
                             u"x?.txt",
                             u"a|b",
                             u"Launcher.verified",
                             u"LAUNCHER.Verified.td"};
    for (const char16_t* name : bad)
        EXPECT_FALSE(IsSafeManifestName(name)) << xString(xWString(name)).c_str();
    EXPECT_FALSE(IsSafeManifestName(xWString(std::u16string(MaxManifestNameLength + 1, u'a').c_str())));
}
