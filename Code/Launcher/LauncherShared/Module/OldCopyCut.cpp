#include "OldCopyCut.h"

#include <algorithm>
#include <memory>

namespace
{
constexpr size_t ReadPieceSize = 1 << 20;

// Hashes the stream's bytes as they come and names each chunk as it ends.
class ChunkNamer
{
public:
    explicit ChunkNamer(OldChunks& chunks) : Chunks(chunks) {}

    // A block of the stream starting at `base`, and the chunks that end in it.
    bool Add(const uint8_t* data, uint64_t base, size_t length, const std::vector<ChunkSpan>& ended)
    {
        for (const ChunkSpan& span : ended)
        {
            const uint64_t end = span.Offset + span.Length;
            Hash->Update(data + (HashedTo - base), static_cast<size_t>(end - HashedTo));
            HashedTo = end;
            if (!Name(span))
                return false;
        }
        Hash->Update(data + (HashedTo - base), static_cast<size_t>(base + length - HashedTo));
        HashedTo = base + length;
        return true;
    }

    // The last chunk, whose bytes were all added already.
    bool End(const std::vector<ChunkSpan>& last) { return last.empty() || Name(last.front()); }

private:
    bool Name(const ChunkSpan& span)
    {
        const std::optional<Sha256Digest> digest = Hash->Finish();
        Hash = std::make_unique<Sha256>();
        if (!digest)
            return false;
        Chunks.emplace(*digest, OldChunk{span.Offset, span.Length});
        return true;
    }

    OldChunks& Chunks;
    std::unique_ptr<Sha256> Hash = std::make_unique<Sha256>();
    uint64_t HashedTo = 0;
};
} // namespace

bool CutOldCopy(const xEngineFileSystem& files, const xWString& path, const ChunkSizes& sizes,
                OldChunks& chunks)
{
    chunks.clear();
    const std::unique_ptr<xFile> file = files.OpenReadPlain(path, false);
    const int64_t size = file ? file->GetSize() : -1;
    if (size < 0)
        return false;
    ContentChunker chunker(sizes);
    ChunkNamer namer(chunks);
    std::vector<uint8_t> piece(ReadPieceSize);
    std::vector<ChunkSpan> ended;
    for (uint64_t at = 0; at < static_cast<uint64_t>(size);)
    {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(piece.size(), size - at));
        ended.clear();
        if (!file->Read(piece.data(), static_cast<int64_t>(count)))
            break;
        chunker.Update(piece.data(), count, ended);
        if (!namer.Add(piece.data(), at, count, ended))
            break;
        at += count;
        if (at == static_cast<uint64_t>(size))
        {
            ended.clear();
            chunker.Finish(ended);
            if (namer.End(ended))
                return true;
        }
    }
    chunks.clear();
    return size == 0;
}
