#include "ContentChunker.h"
#include "FileBytes.h"
#include "Sha256.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace
{
std::vector<ChunkSpan> CutInBlocks(const std::string& bytes, size_t block, const ChunkSizes& sizes)
{
    std::vector<ChunkSpan> chunks;
    ContentChunker chunker(sizes);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.data());
    for (size_t at = 0; at < bytes.size(); at += block)
        chunker.Update(data + at, std::min(block, bytes.size() - at), chunks);
    chunker.Finish(chunks);
    return chunks;
}

std::set<Sha256Digest> DigestsOf(const std::string& bytes, const std::vector<ChunkSpan>& chunks)
{
    std::set<Sha256Digest> digests;
    for (const ChunkSpan& chunk : chunks)
        digests.insert(*Sha256::Of(bytes.data() + chunk.Offset, chunk.Length));
    return digests;
}

std::string TextBytes(size_t count)
{
    std::string text;
    for (int i = 0; text.size() < count; ++i)
        text += "line " + std::to_string(i * 7919 % 10007) + " of the settings\n";
    return text.substr(0, count);
}
} // namespace

// Whatever the bytes, the sizes and the blocks they come in: the chunks cover
// the input exactly, in order; none but the last is shorter than the minimum,
// none is longer than the maximum; the cut does not depend on the blocks; on
// bytes that vary, chunks average near the aim.
TEST(ContentChunker, ChunksCoverTheInputWithinTheLimitsForAnyBlocks)
{
    const ChunkSizes small{64, 1024, 4096}, defaults;
    const struct
    {
        const char* What;
        std::string Bytes;
        ChunkSizes Sizes;
        bool Varied;
    } cases[] = {
        {"empty", "", defaults, false},
        {"shorter than the minimum", PatternBytes(1000, 3), defaults, false},
        {"random", PatternBytes(3 << 20, 4), defaults, true},
        {"text", TextBytes(2 << 20), defaults, true},
        {"one byte repeated: cut at the maximum", std::string(1 << 20, 'z'), defaults, false},
        {"small sizes, random", PatternBytes(300000, 5), small, true},
        {"unusable sizes give the defaults", PatternBytes(1 << 20, 6), ChunkSizes{10, 1000, 100}, true},
    };
    for (const auto& c : cases)
    {
        SCOPED_TRACE(c.What);
        const ChunkSizes used = ContentChunker(c.Sizes).Sizes();
        const std::vector<ChunkSpan> whole =
            ContentChunker::Cut(reinterpret_cast<const uint8_t*>(c.Bytes.data()), c.Bytes.size(), c.Sizes);
        uint64_t next = 0;
        for (size_t i = 0; i < whole.size(); ++i)
        {
            ASSERT_EQ(next, whole[i].Offset);
            EXPECT_LE(whole[i].Length, used.Maximum);
            EXPECT_TRUE(i + 1 == whole.size() ? whole[i].Length > 0 : whole[i].Length >= used.Minimum);
            next += whole[i].Length;
        }
        EXPECT_EQ(c.Bytes.size(), next);
        if (c.Varied)
        {
            const double average = double(c.Bytes.size()) / double(whole.size());
            EXPECT_TRUE(average > used.Average * 0.5 && average < used.Average * 1.5) << average;
        }
        for (const size_t block : {size_t(1), size_t(7), size_t(65536)})
        {
            const std::vector<ChunkSpan> streamed = CutInBlocks(c.Bytes, block, c.Sizes);
            ASSERT_EQ(whole.size(), streamed.size()) << "blocks of " << block;
            for (size_t i = 0; i < whole.size(); ++i)
                EXPECT_TRUE(whole[i].Offset == streamed[i].Offset && whole[i].Length == streamed[i].Length);
        }
    }
}

// Bytes inserted near the start, or changed in the middle, move only the cuts
// around them: every other chunk keeps its bytes, so its hash is unchanged.
TEST(ContentChunker, AnEditChangesOnlyTheChunksAroundIt)
{
    const std::string original = PatternBytes(4 << 20, 11);
    const std::string inserted = original.substr(0, 5000) + "a new record" + original.substr(5000);
    std::string changed = original;
    changed.replace(2 << 20, 300, PatternBytes(300, 12));
    const std::vector<ChunkSpan> cut =
        ContentChunker::Cut(reinterpret_cast<const uint8_t*>(original.data()), original.size());
    const std::set<Sha256Digest> before = DigestsOf(original, cut);
    for (const std::string* edited : {&inserted, static_cast<const std::string*>(&changed)})
    {
        const std::set<Sha256Digest> after = DigestsOf(
            *edited, ContentChunker::Cut(reinterpret_cast<const uint8_t*>(edited->data()), edited->size()));
        size_t kept = 0;
        for (const Sha256Digest& digest : before)
            kept += after.count(digest);
        EXPECT_GE(kept + 2, before.size()) << "of " << before.size() << " chunks";
    }
}

// The cut points are part of what is published: a launcher must cut its files
// the same way years later, so they never change with the code.
TEST(ContentChunker, TheCutPointsStayFixed)
{
    const std::string bytes = PatternBytes(1 << 20, 21);
    std::string offsets;
    for (const ChunkSpan& chunk :
         ContentChunker::Cut(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()))
        offsets += std::to_string(chunk.Offset) + " ";
    EXPECT_EQ("0 73881 147353 223943 331000 455485 540717 594574 669712 735435 816635 894076 995444 ",
              offsets);
}
