// The publisher, end to end: runs the real publish binary (beside the tests in
// bin/) and reads its output back with the launcher's own readers.
#include "Crc32c.h"
#include "EngineText.h"
#include "FileBytes.h"
#include "Lzma86.h"
#include "Manifest.h"
#include "TempFolder.h"
#include "VersionFile.h"
#include "Xxh32.h"

#include <gtest/gtest.h>

#include <map>
#include <random>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace
{
std::string PublishPath()
{
    char self[4096] = {};
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    return (std::filesystem::path(std::string(self, length > 0 ? size_t(length) : 0)).parent_path() /
            "publish")
        .string();
}

int RunPublish(const std::string& arguments)
{
    const int status = std::system((PublishPath() + " " + arguments + " >/dev/null 2>&1").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

class PublisherTest : public testing::Test
{
protected:
    void SetUp() override
    {
        std::mt19937 random(7);
        std::string noise(50000, '\0'), code;
        for (char& c : noise)
            c = static_cast<char>(random());
        for (int i = 0; i < 20000; ++i) // CALLs to a few functions
            code += std::string("\xE8") + char(i & 0x3F) + "\x10\x00\x00\x90";
        m_Files = {{"empty.dat", ""},
                   {"noise.bin", noise},
                   {"data/text.txt", std::string(40000, 'a') + "tail"},
                   {"data/deep/a&b <c>.ini", "x=1\n"},
                   {"bin/Game.EXE", code}};
        for (const auto& [name, content] : m_Files)
        {
            std::filesystem::create_directories(m_Temp.At("client/" + name).parent_path());
            ASSERT_TRUE(WriteFileBytes(m_Temp.At("client/" + name), content));
        }
    }

    void CheckClient(bool withXx)
    {
        const std::string out = m_Temp.At("root/mirra/client").string();
        ASSERT_EQ(0, RunPublish("client --source " + m_Temp.At("client").string() +
                                " --version 1.0.5 --out " + out + (withXx ? " --xx" : "")));
        const std::string package = ReadFileBytes(out + "/Startup1.0.5.pkg");
        Manifest manifest;
        ASSERT_TRUE(ReadManifestContainer(Bytes(ReadFileBytes(out + "/Startup1.0.5.crc")), manifest));
        EXPECT_EQ(package.size(), manifest.Package.TotalSize);
        EXPECT_EQ(Crc32c(package.data(), package.size()), manifest.Package.Crc32c);
        EXPECT_EQ(withXx, manifest.Package.XxPresent);
        if (withXx)
        {
            EXPECT_EQ(Xxh32(package.data(), package.size()), manifest.Package.Xx);
        }
        ASSERT_EQ(m_Files.size(), manifest.Entries.size());
        std::map<std::string, uint32_t> compressed;
        for (const ManifestEntry& entry : manifest.Entries)
        {
            const std::string name = Narrow(entry.Name);
            ASSERT_EQ(1u, m_Files.count(name)) << name;
            const std::string& original = m_Files[name];
            EXPECT_EQ(original.size(), entry.OrigSize);
            EXPECT_EQ(Crc32c(original.data(), original.size()), entry.OrigCrc32c);
            EXPECT_EQ(withXx, entry.XxPresent);
            if (withXx)
            {
                EXPECT_EQ(Xxh32(original.data(), original.size()), entry.Xx);
            }
            ASSERT_LE(uint64_t(entry.StartPos) + entry.DataSize, package.size());
            const std::string data = package.substr(entry.StartPos, entry.DataSize);
            std::vector<uint8_t> unpacked = Bytes(data);
            if (entry.Compressed)
            {
                ASSERT_TRUE(
                    DecodeLzma86(reinterpret_cast<const uint8_t*>(data.data()), data.size(), unpacked));
                EXPECT_LT(data.size(), original.size());
            }
            EXPECT_EQ(Bytes(original), unpacked) << name;
            compressed[name] = entry.Compressed;
        }
        EXPECT_EQ(0u, compressed["empty.dat"]);
        EXPECT_EQ(0u, compressed["noise.bin"]);
        EXPECT_EQ(1u, compressed["data/text.txt"]);
        EXPECT_EQ(1u, compressed["bin/Game.EXE"]);
        // The executable went through the x86 filter (flag byte of its container).
        for (const ManifestEntry& entry : manifest.Entries)
        {
            if (Narrow(entry.Name) == "bin/Game.EXE")
            {
                EXPECT_EQ(1, package[entry.StartPos]);
            }
        }
        EXPECT_FALSE(std::filesystem::exists(out + "/Startup1.0.5.pkg.tmp"));
    }

    TempFolder m_Temp{"publisher-test"};
    std::map<std::string, std::string> m_Files;
};

TEST_F(PublisherTest, ClientPackageReadsBackWithCrc32c)
{
    CheckClient(false);
}

TEST_F(PublisherTest, ClientPackageReadsBackWithXx)
{
    CheckClient(true);
}

TEST_F(PublisherTest, RefusesBadNamesAndOutputInsideTheClient)
{
    const std::string source = m_Temp.At("client").string();
    EXPECT_EQ(1, RunPublish("client --source " + source + " --version 1 --out " + source + "/out"));
    ASSERT_TRUE(WriteFileBytes(m_Temp.At("client/bad:name"), "x"));
    EXPECT_EQ(1, RunPublish("client --source " + source + " --version 1 --out " + m_Temp.At("out").string()));
    EXPECT_FALSE(std::filesystem::exists(m_Temp.At("out/Startup1.pkg")));
    std::filesystem::remove(m_Temp.At("client/bad:name"));
    ASSERT_TRUE(WriteFileBytes(m_Temp.Path / "client" / std::string("bad\xFF"), "x"));
    EXPECT_EQ(1, RunPublish("client --source " + source + " --version 1 --out " + m_Temp.At("out").string()));
}

TEST_F(PublisherTest, VersionFileEditsInPlaceAndKeepsOrder)
{
    const std::string file = m_Temp.At("ClientVersionSID.txt").string();
    EXPECT_EQ(1, RunPublish("version --file " + file + " --set 7=1.0.4")); // no default
    ASSERT_EQ(0, RunPublish("version --file " + file + " --set default=1.0.5"));
    EXPECT_EQ("default=1.0.5\n", ReadFileBytes(file));
    ASSERT_TRUE(WriteFileBytes(file, "7=1.0.3,default=1.0.5,9=0.9,7=0.1\r\nsecond line\n"));
    ASSERT_EQ(0, RunPublish("version --file " + file + " --set 7=1.0.4 --set 12=2.0 --set default=1.0.6"));
    EXPECT_EQ("7=1.0.4,default=1.0.6,9=0.9,7=0.1,12=2.0\r\nsecond line\n", ReadFileBytes(file));
    const xString line("7=1.0.4,default=1.0.6,9=0.9,7=0.1,12=2.0");
    EXPECT_STREQ("1.0.4", ChooseClientVersion(line, "7").c_str());
    EXPECT_STREQ("2.0", ChooseClientVersion(line, "12").c_str());
    EXPECT_STREQ("1.0.6", ChooseClientVersion(line, "8").c_str());
    EXPECT_EQ(2, RunPublish("version --file " + file + " --set a=b=c"));
}

TEST_F(PublisherTest, FontContainerUnpacksToTheFont)
{
    const std::string font = m_Files["data/text.txt"];
    ASSERT_TRUE(WriteFileBytes(m_Temp.At("simhei.ttf"), font));
    ASSERT_EQ(0, RunPublish("font --source " + m_Temp.At("simhei.ttf").string() + " --out " +
                            m_Temp.At("simhei.fnt").string()));
    const std::string container = ReadFileBytes(m_Temp.At("simhei.fnt"));
    ASSERT_FALSE(container.empty());
    EXPECT_EQ(0, container[0]);
    std::vector<uint8_t> unpacked;
    ASSERT_TRUE(DecodeLzma86(reinterpret_cast<const uint8_t*>(container.data()), container.size(), unpacked));
    EXPECT_EQ(Bytes(font), unpacked);
}

TEST(Publisher, HelpDescribesEveryCommand)
{
    EXPECT_EQ(0, RunPublish("--help"));
    EXPECT_EQ(2, RunPublish("bogus"));
}
} // namespace
