#include "ChunkPackWriter.h"
#include "ContentChunker.h"

#include "ToolFiles.h"

#include <cstring>
#include <optional>

namespace fs = std::filesystem;

bool PrepareChunks(const std::vector<uint8_t>& bytes, bool compressible, bool useX86Filter,
                   const Lzma86EncodeOptions& options, const ChunkStore& store,
                   std::vector<PreparedChunk>& chunks)
{
    for (const ChunkSpan& span : ContentChunker::Cut(bytes.data(), bytes.size()))
    {
        PreparedChunk chunk;
        const uint8_t* data = bytes.data() + span.Offset;
        chunk.Length = span.Length;
        const std::optional<Sha256Digest> digest = Sha256::Of(data, span.Length);
        if (!digest)
            return false;
        chunk.Sha256 = *digest;
        chunk.InStore = store.Find(chunk.Sha256) != nullptr;
        if (!chunk.InStore && compressible &&
            !EncodeLzma86(data, span.Length, useX86Filter, chunk.Data, options))
            return false;
        if (!chunk.InStore && chunk.Data.size() < span.Length && !chunk.Data.empty())
            chunk.Form = ChunkForm::Lzma86;
        else if (!chunk.InStore)
            chunk.Data.assign(data, data + span.Length);
        chunks.push_back(std::move(chunk));
    }
    return true;
}

size_t ChunkPackWriter::DigestHash::operator()(const Sha256Digest& digest) const
{
    size_t value = 0;
    std::memcpy(&value, digest.data(), sizeof value);
    return value;
}

ChunkPackWriter::ChunkPackWriter(const fs::path& packPath, const std::string& version) : m_PackPath(packPath)
{
    m_Index.Version = version;
    // This version's own pack is always the first, even when it stays empty.
    m_Index.Packs.push_back({packPath.filename().u8string(), 0});
}

bool ChunkPackWriter::Open()
{
    return OpenTemporary(m_PackPath, m_Pack);
}

void ChunkPackWriter::AddFile(const xWString& name, uint64_t size, const std::vector<PreparedChunk>& chunks,
                              const ChunkStore& store)
{
    ChunkIndexFile file;
    file.Name = name;
    file.Size = size;
    for (const PreparedChunk& chunk : chunks)
        file.Chunks.push_back(NumberOf(chunk, store));
    m_Index.Files.push_back(std::move(file));
}

uint32_t ChunkPackWriter::NumberOf(const PreparedChunk& chunk, const ChunkStore& store)
{
    const auto known = m_Numbers.find(chunk.Sha256);
    if (known != m_Numbers.end())
        return known->second;
    ChunkRecord record;
    if (const ChunkStore::Place* place = chunk.InStore ? store.Find(chunk.Sha256) : nullptr)
    {
        record = place->Record;
        record.Pack = PackNumber(*place->Pack);
    }
    else
    {
        record.Sha256 = chunk.Sha256;
        record.Length = chunk.Length;
        record.Form = chunk.Form;
        record.Offset = m_PackSize;
        record.StoredSize = static_cast<uint32_t>(chunk.Data.size());
        m_Pack.write(reinterpret_cast<const char*>(chunk.Data.data()),
                     static_cast<std::streamsize>(chunk.Data.size()));
        m_PackSize += chunk.Data.size();
        m_Index.Packs[0].Size = m_PackSize;
        ++m_PackedChunks;
    }
    const uint32_t number = static_cast<uint32_t>(m_Index.Chunks.size());
    m_Index.Chunks.push_back(record);
    m_Numbers.emplace(chunk.Sha256, number);
    return number;
}

uint16_t ChunkPackWriter::PackNumber(const ChunkPackInfo& pack)
{
    for (size_t i = 0; i < m_Index.Packs.size(); ++i)
        if (m_Index.Packs[i].Name == pack.Name)
            return static_cast<uint16_t>(i);
    m_Index.Packs.push_back(pack);
    return static_cast<uint16_t>(m_Index.Packs.size() - 1);
}

bool ChunkPackWriter::Close()
{
    return CloseTemporary(m_PackPath, m_Pack);
}

void ChunkPackWriter::Drop()
{
    if (m_Pack.is_open())
        m_Pack.close();
    DropTemporary(m_PackPath);
}
