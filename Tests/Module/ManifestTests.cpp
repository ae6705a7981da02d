#include "CapturedLog.h"
#include "EngineText.h"
#include "Lzma86.h"
#include "Manifest.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
bool Parse(const std::string& xml, Manifest& manifest)
{
    return ParseManifestXml(reinterpret_cast<const uint8_t*>(xml.data()), xml.size(), manifest);
}
} // namespace

TEST(Manifest, ReadsRootAndFilesInDocumentOrder)
{
    Manifest manifest;
    ASSERT_TRUE(
        Parse("<pkg totalSize=\"300\" crc32c=\"4294967295\" xx=\"17\">"
              "<file name=\"bin/game.exe\" origSize=\"200\" origCRC32C=\"5\" startPos=\"0\" dataSize=\"120\""
              " bCompressed=\"1\"/>"
              "<other name=\"ignored\"/>"
              "<FILE NAME=\"\xE6\x95\xB0\xE6\x8D\xAE/a.dat\" ORIGSIZE=\"180\" ORIGCRC32C=\"6\" XX=\"9\""
              " STARTPOS=\"120\" DATASIZE=\"180\" BCOMPRESSED=\"0\"/>"
              "</pkg>",
              manifest));
    EXPECT_EQ(300u, manifest.Package.TotalSize);
    EXPECT_EQ(4294967295u, manifest.Package.Crc32c);
    EXPECT_TRUE(manifest.Package.XxPresent);
    EXPECT_EQ(17u, manifest.Package.Xx);
    ASSERT_EQ(2u, manifest.Entries.size());
    const ManifestEntry& first = manifest.Entries[0];
    EXPECT_EQ(first.Name, u"bin/game.exe");
    EXPECT_EQ(200u, first.OrigSize);
    EXPECT_EQ(5u, first.OrigCrc32c);
    EXPECT_FALSE(first.XxPresent);
    EXPECT_EQ(120u, first.DataSize);
    EXPECT_EQ(1u, first.Compressed);
    const ManifestEntry& second = manifest.Entries[1];
    EXPECT_EQ(second.Name, u"\u6570\u636E/a.dat") << "names are UTF-8";
    EXPECT_EQ(180u, second.OrigSize) << "element and attribute names ignore case";
    EXPECT_FALSE(second.XxPresent) << "only the exact spelling xx counts";
    EXPECT_EQ(120u, second.StartPos);
}

TEST(Manifest, NumbersReadAsTheCLibraryDoes)
{
    struct Case
    {
        const char* Text;
        uint32_t Expected;
    };
    const Case cases[] = {{"42", 42},
                          {"  7", 7},
                          {"+8", 8},
                          {"12px", 12},
                          {"", 0},
                          {"abc", 0},
                          {"4294967295", 4294967295u},
                          {"4294967296", 4294967295u},
                          {"99999999999999999999999", 4294967295u},
                          {"-1", 4294967295u}};
    for (const Case& c : cases)
        EXPECT_EQ(c.Expected, ReadManifestNumber(c.Text, std::char_traits<char>::length(c.Text))) << c.Text;
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

    EXPECT_FALSE(ReadManifestContainer({1, 2, 3}, manifest)) << "no container";
    const std::string xml = "<r><file name=\"x\" origSize=\"3\"/></r>";
    std::vector<uint8_t> container;
    ASSERT_TRUE(EncodeLzma86(reinterpret_cast<const uint8_t*>(xml.data()), xml.size(), false, container));
    ASSERT_TRUE(ReadManifestContainer(container, manifest));
    ASSERT_EQ(1u, manifest.Entries.size());
    EXPECT_EQ(3u, manifest.Entries[0].OrigSize);
}
