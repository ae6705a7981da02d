#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// One piece of a cut stream: where it starts and how long it is.
struct ChunkSpan
{
    uint64_t Offset = 0;
    uint32_t Length = 0;
};

// The sizes a cut aims at. The launcher must cut an installed file with the
// sizes the chunk index names to find the same pieces, so they travel with it.
struct ChunkSizes
{
    uint32_t Minimum = 16 * 1024;
    uint32_t Average = 64 * 1024;
    uint32_t Maximum = 256 * 1024;
};
// Larger limits are refused: a chunk is packed and checked whole in memory.
constexpr uint32_t MaxChunkSize = 4u << 20;
// Minimum at least 64 (the hash's window), Minimum <= Average <= Maximum <=
// MaxChunkSize, Average a power of two.
bool AreUsableChunkSizes(const ChunkSizes& sizes);

// Content-defined cutting (FastCDC with normalised chunking): a cut falls where
// a gear hash of the last 64 bytes has its top bits clear, so an insertion moves
// only the cuts around it and the rest of the file cuts the same. Before
// Average bytes a cut needs two more clear bits, after it two fewer, which
// keeps chunk lengths close to Average; no cut falls before Minimum, and one is
// forced at Maximum.
//
// Streaming: the bytes may come in blocks of any size and cut exactly as one
// buffer would; nothing is allocated per byte, and the chunker keeps no bytes.
class ContentChunker
{
public:
    // Sizes that are not usable (AreUsableChunkSizes) give the defaults.
    explicit ContentChunker(const ChunkSizes& sizes = ChunkSizes());

    // Cuts the next block of the stream, appending each chunk that ends in it.
    void Update(const uint8_t* data, size_t length, std::vector<ChunkSpan>& chunks);
    // The stream's last chunk, when bytes are left after the last cut. The
    // chunker starts a new stream afterwards.
    void Finish(std::vector<ChunkSpan>& chunks);

    const ChunkSizes& Sizes() const { return m_Sizes; }

    // The whole buffer cut at once.
    static std::vector<ChunkSpan> Cut(const uint8_t* data, size_t length,
                                      const ChunkSizes& sizes = ChunkSizes());

private:
    void EndChunk(std::vector<ChunkSpan>& chunks);

    ChunkSizes m_Sizes;
    uint64_t m_StrictMask = 0; // before Average
    uint64_t m_LooseMask = 0;  // from Average on
    uint64_t m_Start = 0;      // of the chunk being cut, in the stream
    uint32_t m_Length = 0;     // of the chunk being cut so far
    uint64_t m_Hash = 0;
};
