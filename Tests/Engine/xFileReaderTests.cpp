#include "xFileReader.h"
#include "xFileSystem.h"
#include "xPath.h"

#include "EngineText.h"
#include "FileBytes.h"
#include "TempFolder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
constexpr int64_t Block = xFileReader::BufferSize;

// Writes the data to a fresh temporary file and opens it through the file system.
class xFileReaderTest : public ::testing::Test
{
protected:
    void TearDown() override { Reader.reset(); }

    void Open(size_t size, bool shareWrite = false)
    {
        Data = PatternBytes(size, 77);
        const fs::path file = Folder.At("data.bin");
        ASSERT_TRUE(WriteFileBytes(file, Data));
        Path = ToForwardSlashes(xWString(file.u16string().c_str()));
        Reader = Files.OpenRead(Path, shareWrite);
        ASSERT_TRUE(Reader) << "cannot open " << file.string();
    }

    int64_t Size() const { return static_cast<int64_t>(Data.size()); }

    // Reads `count` bytes and checks them against the data at the position the
    // reader was at.
    void ExpectRead(int64_t count, const char* what)
    {
        const int64_t at = Reader->Tell();
        std::vector<char> buffer(static_cast<size_t>(count));
        ASSERT_TRUE(Reader->Read(buffer.data(), count)) << what << ": " << count << " bytes at " << at;
        ASSERT_EQ(0, std::memcmp(buffer.data(), Data.data() + at, static_cast<size_t>(count)))
            << what << ": wrong bytes for " << count << " at " << at;
        ASSERT_EQ(at + count, Reader->Tell()) << what;
    }

    xFileSystem Files;
    TempFolder Folder{"xfr-test"};
    xWString Path;
    std::string Data;
    std::unique_ptr<xFile> Reader;
};
} // namespace

TEST_F(xFileReaderTest, AReadPastTheEndFailsWithoutMoving)
{
    Open(2 * Block + 3);
    ASSERT_TRUE(Reader->Seek(Size() - 5));
    char buffer[16];
    EXPECT_FALSE(Reader->Read(buffer, 10));
    EXPECT_EQ(Size() - 5, Reader->Tell());
    ExpectRead(5, "the five that are there");

    // Across the end of a buffer and then the end of the file: nothing may be
    // consumed either. The far seek makes the buffer start at 5.
    ASSERT_TRUE(Reader->Seek(5));
    ExpectRead(Block - 4, "to just before the buffer's end");
    std::vector<char> big(static_cast<size_t>(Block + 10));
    EXPECT_FALSE(Reader->Read(big.data(), Block + 10));
    EXPECT_EQ(Block + 1, Reader->Tell());
    ExpectRead(Size() - (Block + 1), "up to the end");

    ASSERT_TRUE(Reader->Seek(Size() + 50)) << "seeking beyond the end is allowed";
    EXPECT_FALSE(Reader->Read(buffer, 1));
    EXPECT_FALSE(Reader->Read(buffer, 0)) << "a count of 0 is no read";
    EXPECT_FALSE(Reader->Read(nullptr, 1));
}

TEST_F(xFileReaderTest, BytesTheDiskNoLongerHasAreNeverHandedOut)
{
    Open(static_cast<size_t>(4 * Block), true);
    ExpectRead(100, "before the file shrinks");
    fs::resize_file(FsPath(Path), static_cast<uintmax_t>(Block / 2));
    std::vector<char> buffer(static_cast<size_t>(2 * Block));
    EXPECT_FALSE(Reader->Read(buffer.data(), 2 * Block)) << "the read-ahead found nothing";
    EXPECT_FALSE(Reader->Read(buffer.data(), 10)) << "nor does the next read";
    ASSERT_TRUE(Reader->Seek(3 * Block));
    EXPECT_FALSE(Reader->Read(buffer.data(), 10)) << "a far seek past the new end";
    ASSERT_TRUE(Reader->Seek(10));
    ExpectRead(100, "what is still there after a seek");
}

// Far and near seeks (inside, across and just over the end of the buffer) and reads of every length.
TEST_F(xFileReaderTest, RandomSeeksAndReadsMatchTheFile)
{
    Open(6 * Block + 999);
    std::mt19937 random(2024);
    int64_t expected = 0;
    std::vector<char> buffer;
    for (int step = 0; step < 3000; ++step)
    {
        const unsigned kind = random() % 4;
        if (kind < 2)
        {
            // Far anywhere, including past the end; or near: inside or just outside the current buffer.
            const int64_t nearby = expected + static_cast<int64_t>(random() % 4000) - 2000;
            const int64_t target = kind == 0
                                       ? static_cast<int64_t>(random() % static_cast<unsigned>(Size() + 100))
                                       : std::max<int64_t>(nearby, 0);
            ASSERT_TRUE(Reader->Seek(target));
            expected = target;
        }
        else
        {
            const int64_t count = 1 + static_cast<int64_t>(random() % (kind == 2 ? 300 : 150000));
            if (expected + count <= Size())
            {
                ASSERT_NO_FATAL_FAILURE(ExpectRead(count, "a random read")) << "step " << step;
                expected += count;
                continue;
            }
            buffer.resize(static_cast<size_t>(count));
            ASSERT_FALSE(Reader->Read(buffer.data(), count)) << count << " bytes at " << expected;
        }
        ASSERT_EQ(expected, Reader->Tell()) << "step " << step;
    }
}

TEST_F(xFileReaderTest, ExactlyOneBufferAndTheClosedReader)
{
    Open(static_cast<size_t>(Block));
    EXPECT_EQ(Block, Reader->GetSize());
    ExpectRead(Block, "exactly one buffer");
    char byte;
    EXPECT_FALSE(Reader->Read(&byte, 1)) << "nothing after the end";
    ASSERT_TRUE(Reader->Seek(Block - 1));
    ExpectRead(1, "last byte again");
    EXPECT_FALSE(Reader->Seek(-1));
    EXPECT_EQ(Block, Reader->Tell()) << "a refused seek moves nothing";

    EXPECT_FALSE(Reader->Write("x", 1)) << "a reader never writes";
    EXPECT_TRUE(Reader->Close());
    EXPECT_EQ(-1, Reader->Tell());
    EXPECT_FALSE(Reader->Read(&byte, 1) || Reader->Seek(3));
    EXPECT_TRUE(Reader->Close()) << "closing twice is harmless";
    EXPECT_FALSE(Files.OpenRead(ToForwardSlashes(xWString(Folder.Path.u16string().c_str())), false))
        << "a folder is no file to read";
}
