#include "ChunkStore.h"
#include "ChunkIndexFormat.h"

#include "ToolFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

namespace fs = std::filesystem;

size_t ChunkStore::DigestHash::operator()(const Sha256Digest& digest) const
{
    size_t value = 0;
    std::memcpy(&value, digest.data(), sizeof value);
    return value;
}

bool ChunkStore::Load(const fs::path& folder, const std::string& ownPack, const std::string& ownIndex)
{
    std::error_code error;
    std::vector<fs::path> indices;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error))
    {
        std::error_code kindError;
        if (it->is_regular_file(kindError) && it->path().extension() == ChunkIndexFormat::IndexSuffix)
            indices.push_back(it->path());
    }
    if (error)
    {
        Fail("cannot list the chunk store %s: %s", folder.c_str(), error.message().c_str());
        return false;
    }
    std::sort(indices.begin(), indices.end());
    for (const fs::path& file : indices)
        if (!Take(folder, file, ownPack, ownIndex))
            return false;
    return true;
}

bool ChunkStore::Take(const fs::path& folder, const fs::path& file, const std::string& ownPack,
                      const std::string& ownIndex)
{
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(file, bytes))
    {
        Fail("cannot read %s: %s", file.c_str(), std::strerror(errno));
        return false;
    }
    ChunkIndex index;
    std::string why;
    if (!ParseChunkIndex(bytes.data(), bytes.size(), index, why))
    {
        Fail("%s is no chunk index the launcher would take: %s", file.c_str(), why.c_str());
        return false;
    }
    // Each pack once, however many indices name it.
    std::vector<const ChunkPackInfo*> usable(index.Packs.size(), nullptr);
    for (size_t i = 0; i < index.Packs.size(); ++i)
    {
        const ChunkPackInfo& pack = index.Packs[i];
        if (pack.Name == ownPack && file.filename().u8string() != ownIndex)
        {
            Fail("%s names %s, which this version would replace: publish under another version", file.c_str(),
                 pack.Name.c_str());
            return false;
        }
        std::error_code error;
        const uintmax_t size = fs::file_size(folder / fs::u8path(pack.Name), error);
        if (pack.Name == ownPack || error || size != pack.Size)
            continue;
        auto known =
            std::find_if(m_Packs.begin(), m_Packs.end(),
                         [&](const std::unique_ptr<ChunkPackInfo>& p) { return p->Name == pack.Name; });
        if (known == m_Packs.end())
            known = m_Packs.insert(m_Packs.end(), std::make_unique<ChunkPackInfo>(pack));
        usable[i] = known->get();
    }
    for (const ChunkRecord& chunk : index.Chunks)
        if (usable[chunk.Pack])
            m_Places.emplace(chunk.Sha256, Place{usable[chunk.Pack], chunk});
    return true;
}

const ChunkStore::Place* ChunkStore::Find(const Sha256Digest& digest) const
{
    const auto found = m_Places.find(digest);
    return found == m_Places.end() ? nullptr : &found->second;
}
