#include "ChunkIndex.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace
{
Sha256Digest DigestOf(uint8_t seed)
{
    Sha256Digest digest{};
    digest.fill(seed);
    return digest;
}

// Two packs; a stored chunk, an Lzma86 one and one in the older pack; a file
// of all three (one twice), a file of one and an empty file.
ChunkIndex SampleIndex()
{
    ChunkIndex index;
    index.Version = "1.0.6";
    index.Packs = {{"Startup1.0.6.chunkpack", 70000}, {"Startup1.0.5.chunkpack", 30000}};
    index.Chunks = {{DigestOf(1), 40000, 0, 0, 40000, ChunkForm::Stored},
                    {DigestOf(2), 65536, 0, 40000, 30000, ChunkForm::Lzma86},
                    {DigestOf(3), 20000, 1, 10000, 20000, ChunkForm::Stored}};
    index.Files = {
        {u"Data/big.pak", 165536, {0, 1, 2, 0}}, {u"Bin/Game.exe", 20000, {2}}, {u"empty.dat", 0, {}}};
    return index;
}

std::string Refusal(const std::vector<uint8_t>& bytes)
{
    ChunkIndex index;
    std::string error;
    if (ParseChunkIndex(bytes.data(), bytes.size(), index, error))
        return "(taken)";
    EXPECT_TRUE(index.Files.empty() && index.Chunks.empty() && index.Packs.empty());
    return error;
}
} // namespace

TEST(ChunkIndex, ReadsBackWhatItWrites)
{
    const std::vector<uint8_t> bytes = WriteChunkIndex(SampleIndex());
    ChunkIndex read;
    std::string error;
    ASSERT_TRUE(ParseChunkIndex(bytes.data(), bytes.size(), read, error)) << error;
    EXPECT_EQ(bytes, WriteChunkIndex(read));
    EXPECT_EQ("1.0.6", read.Version);
    ASSERT_EQ(3u, read.Files.size());
    EXPECT_TRUE(read.Files[0].Name == u"Data/big.pak" && read.Files[0].Chunks.size() == 4);
    EXPECT_TRUE(read.Chunks[1].Form == ChunkForm::Lzma86 && read.Chunks[2].Pack == 1 &&
                read.Chunks[1].Offset == 40000);
}

// Each damage the reader refuses, with the reason it gives; every shorter
// prefix of a good index is refused too.
TEST(ChunkIndex, RefusesDamagedOrHostileIndices)
{
    using Edit = std::function<void(ChunkIndex&)>;
    using ByteEdit = std::function<void(std::vector<uint8_t>&)>;
    const struct
    {
        const char* Reason;
        Edit Change;
        ByteEdit ChangeBytes;
    } cases[] = {
        {"no LCHUNKS1", {}, [](std::vector<uint8_t>& b) { b[0] = 'X'; }},
        // Four billion files in a few bytes: refused before anything is made for them.
        {"file count", [](ChunkIndex& i) { i.Files.clear(); },
         [](std::vector<uint8_t>& b) { std::fill(b.end() - 4, b.end(), 0xFF); }},
        {"version", [](ChunkIndex& i) { i.Version = "1.0\n6"; }, {}},
        {"version", [](ChunkIndex& i) { i.Version.clear(); }, {}},
        {"chunk sizes",
         [](ChunkIndex& i) {
             i.Sizes = {70000, 65536, 262144};
         },
         {}},
        {"pack name", [](ChunkIndex& i) { i.Packs[1].Name = "../Startup1.0.5.chunkpack"; }, {}},
        {"pack name", [](ChunkIndex& i) { i.Packs[1].Name = "old/Startup1.0.5.chunkpack"; }, {}},
        {"names a pack that is not listed", [](ChunkIndex& i) { i.Chunks[2].Pack = 2; }, {}},
        {"outside its pack", [](ChunkIndex& i) { i.Chunks[2].Offset = 10001; }, {}},
        {"outside its pack", [](ChunkIndex& i) { i.Chunks[2].Offset = ~uint64_t(0); }, {}},
        {"overlap", [](ChunkIndex& i) { i.Chunks[1].Offset = 39999; }, {}},
        {"listed twice", [](ChunkIndex& i) { i.Chunks[2].Sha256 = DigestOf(1); }, {}},
        {"stored chunk's size", [](ChunkIndex& i) { i.Chunks[0].StoredSize = 30000; }, {}},
        {"does not shrink",
         [](ChunkIndex& i) { i.Chunks[1].StoredSize = 65536, i.Packs[0].Size = 110000; },
         {}},
        {"does not shrink", [](ChunkIndex& i) { i.Chunks[1].StoredSize = 14; }, {}},
        {"longer than the largest cut",
         [](ChunkIndex& i) {
             i.Sizes = {16384, 32768, 65535};
         },
         {}},
        {"unknown form", [](ChunkIndex& i) { i.Chunks[0].Form = ChunkForm(2); }, {}},
        {"empty", [](ChunkIndex& i) { i.Chunks[0].Length = 0, i.Chunks[0].StoredSize = 0; }, {}},
        {"file name", [](ChunkIndex& i) { i.Files[0].Name = u"../outside.pak"; }, {}},
        {"file name", [](ChunkIndex& i) { i.Files[0].Name = u"C:/Windows/win.ini"; }, {}},
        {"file name", [](ChunkIndex& i) { i.Files[0].Name = u"Data/nul"; }, {}},
        {"listed twice", [](ChunkIndex& i) { i.Files[1].Name = u"data/BIG.pak"; }, {}},
        {"past the chunk table", [](ChunkIndex& i) { i.Files[1].Chunks = {3}; }, {}},
        {"do not add up", [](ChunkIndex& i) { i.Files[1].Size = 20001; }, {}},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.Reason);
        ChunkIndex index = SampleIndex();
        if (c.Change)
            c.Change(index);
        std::vector<uint8_t> bytes = WriteChunkIndex(index);
        if (c.ChangeBytes)
            c.ChangeBytes(bytes);
        EXPECT_NE(std::string::npos, Refusal(bytes).find(c.Reason)) << Refusal(bytes);
    }
    const std::vector<uint8_t> good = WriteChunkIndex(SampleIndex());
    for (size_t length = 0; length < good.size(); ++length)
        EXPECT_NE("(taken)", Refusal(std::vector<uint8_t>(good.begin(), good.begin() + length))) << length;
    std::vector<uint8_t> longer = good;
    longer.push_back(0);
    EXPECT_NE(std::string::npos, Refusal(longer).find("bytes follow"));
}
