#include "Crc32c.h"
#include "FileBytes.h"
#include "PackageCheck.h"
#include "TempFolder.h"
#include "Xxh32.h"

#include "xTextConversion.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

namespace
{
xWString WidePath(const TempFolder& folder, const std::string& name)
{
    std::filesystem::create_directories(folder.At(name).parent_path());
    return Utf8ToWide(folder.At(name).generic_u8string().c_str());
}

bool WriteBytes(const TempFolder& folder, const std::string& name, const std::vector<uint8_t>& bytes)
{
    WidePath(folder, name);
    return WriteFileBytes(folder.At(name), std::string(bytes.begin(), bytes.end()));
}
} // namespace

TEST(PackageCheck, FileMatchesBySizeAndTheNamedHash)
{
    TempFolder folder;
    // Larger than one read piece, so the pieces are chained.
    std::vector<uint8_t> bytes(3 * 1024 * 1024 + 17);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<uint8_t>(i * 131 + (i >> 9));
    const xWString path = WidePath(folder, "data/a.bin");
    ASSERT_TRUE(WriteBytes(folder, "data/a.bin", bytes));
    const uint32_t crc = Crc32c(bytes.data(), bytes.size());
    const uint32_t xx = Xxh32(bytes.data(), bytes.size());

    EXPECT_TRUE(VerifyFile(path, bytes.size(), crc, false));
    EXPECT_TRUE(VerifyFile(path, bytes.size(), xx, true));
    EXPECT_FALSE(VerifyFile(path, bytes.size(), crc, true)) << "xx present: the CRC does not count";
    EXPECT_FALSE(VerifyFile(path, bytes.size() - 1, crc, false));
    EXPECT_FALSE(VerifyFile(path, bytes.size(), crc ^ 1, false));
    EXPECT_FALSE(VerifyFile(WidePath(folder, "missing"), 0, 0, false));
    EXPECT_FALSE(VerifyFile(WidePath(folder, "data"), 0, 0, false)) << "a folder is no file";

    ASSERT_TRUE(WriteBytes(folder, "empty", {}));
    EXPECT_TRUE(VerifyFile(WidePath(folder, "empty"), 0, Crc32c(nullptr, 0), false));
    EXPECT_TRUE(VerifyFile(WidePath(folder, "empty"), 0, Xxh32(nullptr, 0), true));
}

TEST(PackageCheck, ManifestNamesStayInsideThePublishFolder)
{
    const char16_t* good[] = {u"game.exe", u"bin/x64/a.dll", u"\u6570\u636E/a.dat", u"a..b/c",
                              u"..a",      u"\u015C.txt",    u"console/a"};
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
                             u"a\x01"
                             "b",
                             u"./a",
                             u"a/con.txt",
                             u"NUL",
                             u"a./b",
                             u"b /c",
                             u"x?.txt",
                             u"a|b"};
    for (const char16_t* name : bad)
        EXPECT_FALSE(IsSafeManifestName(name)) << xString(xWString(name)).c_str();
    EXPECT_FALSE(IsSafeManifestName(xWString(std::u16string(MaxManifestNameLength + 1, u'a').c_str())));
}

TEST(PackageCheck, MoreThanHalfStaleFetchesTheWholePackage)
{
    EXPECT_FALSE(PrefersFullDownload(50, 100)) << "exactly half goes by ranges";
    EXPECT_TRUE(PrefersFullDownload(51, 100));
    EXPECT_FALSE(PrefersFullDownload(0, 0));
    EXPECT_TRUE(PrefersFullDownload(1, 1));
}
