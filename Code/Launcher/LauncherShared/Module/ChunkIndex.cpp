#include "ChunkIndex.h"
#include "ChunkIndexFormat.h"
#include "Lzma86.h"
#include "PackageCheck.h"

#include "xStringOps.h"
#include "xTextConversion.h"

#include <algorithm>
#include <cstring>
#include <tuple>

namespace
{
using namespace ChunkIndexFormat;

// Little-endian fields off the front of the bytes; a read past the end fails
// and every later read fails too.
class FieldReader
{
public:
    FieldReader(const uint8_t* data, size_t size) : m_Data(data), m_Left(size) {}

    size_t Left() const { return m_Left; }

    template <typename Number> bool Read(Number& value)
    {
        const uint8_t* bytes = Take(sizeof(Number));
        if (!bytes)
            return false;
        uint64_t result = 0;
        for (size_t i = 0; i < sizeof(Number); ++i)
            result |= uint64_t(bytes[i]) << (8 * i);
        value = static_cast<Number>(result);
        return true;
    }

    bool ReadString(std::string& text)
    {
        uint16_t length = 0;
        const uint8_t* bytes = Read(length) ? Take(length) : nullptr;
        if (!bytes)
            return false;
        text.assign(reinterpret_cast<const char*>(bytes), length);
        return true;
    }

    const uint8_t* Take(size_t count)
    {
        if (count > m_Left)
        {
            m_Left = 0;
            m_Data = nullptr;
            return nullptr;
        }
        const uint8_t* at = m_Data;
        m_Data += count;
        m_Left -= count;
        return at;
    }

private:
    const uint8_t* m_Data;
    size_t m_Left;
};

bool IsUtf8(const std::string& text, xWString& wide)
{
    wide = Utf8ToWide(text.c_str(), text.size());
    const xString back = WideToUtf8(wide);
    return std::string(back.c_str(), back.Length()) == text;
}

bool HasControl(const std::string& text)
{
    return std::any_of(text.begin(), text.end(),
                       [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7F; });
}

bool IsSafePackName(const std::string& name)
{
    xWString wide;
    return !name.empty() && IsUtf8(name, wide) && !HasControl(name) && name.find('/') == std::string::npos &&
           IsSafeManifestName(wide);
}

// Version, sizes and packs.
const char* ReadHead(FieldReader& reader, ChunkIndex& index)
{
    const uint8_t* magic = reader.Take(MagicSize);
    if (!magic || std::memcmp(magic, Magic, MagicSize) != 0)
        return "not a chunk index (no LCHUNKS1 at its start)";
    xWString wide;
    if (!reader.ReadString(index.Version) || index.Version.empty() ||
        index.Version.size() > MaxVersionBytes || !IsUtf8(index.Version, wide) || HasControl(index.Version))
        return "its version is missing, too long or not plain UTF-8";
    ChunkSizes& sizes = index.Sizes;
    if (!reader.Read(sizes.Minimum) || !reader.Read(sizes.Average) || !reader.Read(sizes.Maximum) ||
        !AreUsableChunkSizes(sizes))
        return "its chunk sizes are missing or unusable";
    uint16_t packs = 0;
    if (!reader.Read(packs) || size_t(packs) * PackRecordMinimum > reader.Left())
        return "its pack count is more than its bytes hold";
    index.Packs.resize(packs);
    for (ChunkPackInfo& pack : index.Packs)
    {
        if (!reader.ReadString(pack.Name) || !reader.Read(pack.Size))
            return "it ends inside the pack list";
        if (!IsSafePackName(pack.Name))
            return "a pack name is not one safe file name";
    }
    return nullptr;
}

const char* CheckChunk(const ChunkIndex& index, const ChunkRecord& chunk)
{
    if (chunk.Length == 0 || chunk.Length > index.Sizes.Maximum)
        return "a chunk is empty or longer than the largest cut";
    if (chunk.Pack >= index.Packs.size())
        return "a chunk names a pack that is not listed";
    const uint64_t packSize = index.Packs[chunk.Pack].Size;
    if (chunk.Offset > packSize || chunk.StoredSize > packSize - chunk.Offset)
        return "a chunk lies outside its pack";
    if (chunk.Form == ChunkForm::Stored && chunk.StoredSize != chunk.Length)
        return "a stored chunk's size is not its length";
    if (chunk.Form == ChunkForm::Lzma86 &&
        (chunk.StoredSize <= Lzma86HeaderSize || chunk.StoredSize >= chunk.Length))
        return "an Lzma86 chunk does not shrink its bytes";
    return nullptr;
}

const char* ReadChunks(FieldReader& reader, ChunkIndex& index)
{
    uint32_t count = 0;
    if (!reader.Read(count) || uint64_t(count) * ChunkRecordSize > reader.Left())
        return "its chunk count is more than its bytes hold";
    index.Chunks.resize(count);
    for (ChunkRecord& chunk : index.Chunks)
    {
        std::memcpy(chunk.Sha256.data(), reader.Take(chunk.Sha256.size()), chunk.Sha256.size());
        uint8_t form = 0;
        reader.Read(chunk.Length), reader.Read(chunk.Pack), reader.Read(chunk.Offset);
        reader.Read(chunk.StoredSize), reader.Read(form);
        if (form > uint8_t(ChunkForm::Lzma86))
            return "a chunk has an unknown form";
        chunk.Form = static_cast<ChunkForm>(form);
        if (const char* error = CheckChunk(index, chunk))
            return error;
    }
    return nullptr;
}

// No chunk twice, no two chunks sharing a byte of a pack.
const char* CheckChunkTable(const ChunkIndex& index)
{
    std::vector<const ChunkRecord*> order;
    for (const ChunkRecord& chunk : index.Chunks)
        order.push_back(&chunk);
    std::sort(order.begin(), order.end(),
              [](const ChunkRecord* a, const ChunkRecord* b) { return a->Sha256 < b->Sha256; });
    for (size_t i = 1; i < order.size(); ++i)
        if (order[i - 1]->Sha256 == order[i]->Sha256)
            return "a chunk is listed twice";
    std::sort(order.begin(), order.end(),
              [](const ChunkRecord* a, const ChunkRecord* b)
              { return std::tie(a->Pack, a->Offset) < std::tie(b->Pack, b->Offset); });
    for (size_t i = 1; i < order.size(); ++i)
        if (order[i - 1]->Pack == order[i]->Pack &&
            order[i - 1]->Offset + order[i - 1]->StoredSize > order[i]->Offset)
            return "two chunks overlap in a pack";
    return nullptr;
}

const char* ReadFileEntry(FieldReader& reader, const ChunkIndex& index, ChunkIndexFile& file)
{
    std::string name;
    uint32_t count = 0;
    if (!reader.ReadString(name) || !reader.Read(file.Size) || !reader.Read(count))
        return "it ends inside the file list";
    if (name.empty() || !IsUtf8(name, file.Name) || HasControl(name) || !IsSafeManifestName(file.Name))
        return "a file name could reach outside the client folder or is not plain UTF-8";
    if (uint64_t(count) * 4 > reader.Left())
        return "a file's chunk count is more than its bytes hold";
    file.Chunks.resize(count);
    uint64_t total = 0;
    for (uint32_t& number : file.Chunks)
    {
        reader.Read(number);
        if (number >= index.Chunks.size())
            return "a file names a chunk past the chunk table";
        total += index.Chunks[number].Length;
    }
    if (total != file.Size)
        return "a file's chunks do not add up to its size";
    return nullptr;
}

const char* ReadFiles(FieldReader& reader, ChunkIndex& index)
{
    uint32_t count = 0;
    if (!reader.Read(count) || uint64_t(count) * FileRecordMinimum > reader.Left())
        return "its file count is more than its bytes hold";
    index.Files.resize(count);
    for (ChunkIndexFile& file : index.Files)
        if (const char* error = ReadFileEntry(reader, index, file))
            return error;
    std::vector<const xWString*> names;
    for (const ChunkIndexFile& file : index.Files)
        names.push_back(&file.Name);
    std::sort(names.begin(), names.end(),
              [](const xWString* a, const xWString* b) { return CompareNoCase(*a, *b) < 0; });
    for (size_t i = 1; i < names.size(); ++i)
        if (EqualsNoCase(*names[i - 1], *names[i]))
            return "a file is listed twice";
    return nullptr;
}

const char* Read(FieldReader& reader, ChunkIndex& index)
{
    const char* error = ReadHead(reader, index);
    error = error ? error : ReadChunks(reader, index);
    error = error ? error : CheckChunkTable(index);
    error = error ? error : ReadFiles(reader, index);
    if (!error && reader.Left() != 0)
        error = "bytes follow its last file";
    return error;
}
} // namespace

bool ParseChunkIndex(const uint8_t* data, size_t size, ChunkIndex& index, std::string& error)
{
    index = ChunkIndex();
    FieldReader reader(data, size);
    if (const char* why = Read(reader, index))
    {
        index = ChunkIndex();
        error = why;
        return false;
    }
    error.clear();
    return true;
}
