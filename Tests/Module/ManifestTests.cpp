#include "CapturedLog.h"
#include "EngineText.h"
#include "Lzma86.h"
#include "Manifest.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace
{
bool Parse(const std::string& xml, Manifest& manifest)
{
    return ParseManifestXml(reinterpret_cast<const uint8_t*>(xml.data()), xml.size(), manifest);
}

std::string Describe(const ManifestEntry& e)
{
    return Narrow(e.Name) + " size " + std::to_string(e.OrigSize) + " crc " + std::to_string(e.OrigCrc32c) +
           " xx " + (e.XxPresent ? std::to_string(e.Xx) : "-") + " sha256 " +
           (e.Sha256Present ? Sha256Text(e.Sha256).c_str() : "-") + " at " + std::to_string(e.StartPos) +
           " data " + std::to_string(e.DataSize) + " compressed " + std::to_string(e.Compressed);
}

const std::string DigestA = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string DigestB = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
} // namespace

TEST(Manifest, ReadsRootAndFilesInDocumentOrder)
{
    Manifest manifest;
    ASSERT_TRUE(Parse(
        "<pkg totalSize=\"300\" crc32c=\"4294967295\" xx=\"17\" sha256=\"" + DigestA +
            "\">"
            "<file name=\"bin/game.exe\" origSize=\"200\" origCRC32C=\"5\" startPos=\"0\" dataSize=\"120\""
            " bCompressed=\"1\" Sha256=\"" +
            DigestB +
            "\"/>"
            "<other name=\"ignored\"/>"
            "<FILE NAME=\"\xE6\x95\xB0\xE6\x8D\xAE/a.dat\" ORIGSIZE=\"180\" ORIGCRC32C=\"6\" XX=\"9\""
            " STARTPOS=\"120\" DATASIZE=\"180\" BCOMPRESSED=\"0\"/>"
            "</pkg>",
        manifest));
    EXPECT_EQ(300u, manifest.Package.TotalSize);
    EXPECT_EQ(4294967295u, manifest.Package.Crc32c);
    EXPECT_TRUE(manifest.Package.XxPresent && manifest.Package.Xx == 17u);
    EXPECT_TRUE(manifest.Package.Sha256Present);
    EXPECT_EQ(DigestA, Sha256Text(manifest.Package.Sha256).c_str());
    ASSERT_EQ(2u, manifest.Entries.size());
    EXPECT_EQ(Describe(manifest.Entries[0]),
              "bin/game.exe size 200 crc 5 xx - sha256 " + DigestB + " at 0 data 120 compressed 1");
    // Names are UTF-8, element and attribute names ignore case, but only the exact spelling xx counts.
    EXPECT_EQ(Describe(manifest.Entries[1]),
              "\xE6\x95\xB0\xE6\x8D\xAE/a.dat size 180 crc 6 xx - sha256 - at 120 data 180 compressed 0");
}

TEST(Manifest, NumbersReadAsTheCLibraryDoes)
{
    // Beyond the range, and negative, read as the cap.
    const std::pair<const char*, uint32_t> cases[] = {{"42", 42},
                                                      {"  7", 7},
                                                      {"+8", 8},
                                                      {"12px", 12},
                                                      {"", 0},
                                                      {"abc", 0},
                                                      {"4294967295", 4294967295u},
                                                      {"4294967296", 4294967295u},
                                                      {"99999999999999999999999", 4294967295u},
                                                      {"-1", 4294967295u}};
    for (const auto& [text, expected] : cases)
        EXPECT_EQ(expected, ReadManifestNumber(text, std::char_traits<char>::length(text))) << text;
}

TEST(Manifest, BrokenDocumentsAreReportedAndContainersUnpacked)
{
    CapturedLog log;
    Manifest manifest;
    EXPECT_TRUE(Parse("", manifest)) << "no root element: no entries";
    EXPECT_TRUE(manifest.Entries.empty());
    EXPECT_FALSE(Parse("<pkg><file name=\"a\"></pkg>", manifest));
    EXPECT_FALSE(Parse("<pkg totalSize=\"1", manifest));
    EXPECT_EQ(2u, log.MessagesStartingWith("E Manifest is no valid XML: ").size());
    // A hash that cannot be read must not pass for none: the manifest is refused.
    const std::string upper = "BA7816BF" + DigestA.substr(8);
    for (const std::string& xml : {"<pkg sha256=\"" + upper + "\"/>",
                                   "<pkg><file name=\"a\" sha256=\"" + DigestA.substr(1) + "\"/></pkg>"})
    {
        EXPECT_FALSE(Parse(xml, manifest)) << xml;
        EXPECT_TRUE(manifest.Entries.empty() && !manifest.Package.Sha256Present) << xml;
    }
    EXPECT_EQ(1u, log.MessagesStartingWith("E Manifest package: its sha256 is not 64 lowercase hex").size());
    EXPECT_EQ(1u,
              log.MessagesStartingWith("E Manifest entry \"a\": its sha256 is not 64 lowercase hex").size());

    EXPECT_FALSE(ReadManifestContainer({1, 2, 3}, manifest)) << "no container";
    const std::string xml = "<r><file name=\"x\" origSize=\"3\"/></r>";
    std::vector<uint8_t> container;
    ASSERT_TRUE(EncodeLzma86(reinterpret_cast<const uint8_t*>(xml.data()), xml.size(), false, container));
    ASSERT_TRUE(ReadManifestContainer(container, manifest));
    ASSERT_EQ(1u, manifest.Entries.size());
    EXPECT_EQ(3u, manifest.Entries[0].OrigSize);
}
