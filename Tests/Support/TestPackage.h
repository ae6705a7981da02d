#pragma once

#include "ChunkIndex.h"
#include "ContentChunker.h"
#include "Crc32c.h"
#include "Lzma86.h"
#include "Manifest.h"

#include "xTextConversion.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// Client packages and manifests laid out as the publisher lays them out, for
// the update tests; hostile manifest entries are written by hand with FileElement.

struct ClientFile
{
    std::string Name;
    std::string Bytes;
    bool Compressed = false;
};

struct TestPackage
{
    std::string Package;
    std::string Xml;
    std::vector<size_t> Starts; // each file's data in the package
};

inline std::string Lzma86Of(const std::string& bytes)
{
    // A dictionary fitted to the bytes, as the publisher fits it: the default
    // one costs the sanitizer builds most of a second per member.
    Lzma86EncodeOptions fitted;
    while (fitted.DictionarySize / 2 >= bytes.size() && fitted.DictionarySize > 4096)
        fitted.DictionarySize /= 2;
    std::vector<uint8_t> container;
    EncodeLzma86(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), false, container, fitted);
    return std::string(container.begin(), container.end());
}

inline std::string FileElement(const std::string& name, const std::string& bytes, size_t start,
                               size_t dataSize, bool compressed)
{
    ManifestEntry entry;
    entry.Name = Utf8ToWide(name.c_str());
    entry.OrigSize = static_cast<uint32_t>(bytes.size());
    entry.OrigCrc32c = Crc32c(bytes.data(), bytes.size());
    entry.StartPos = static_cast<uint32_t>(start);
    entry.DataSize = static_cast<uint32_t>(dataSize);
    entry.Compressed = compressed;
    Manifest one;
    one.Entries.push_back(entry);
    // The writer's line for the entry, between the root's two lines.
    const std::string xml = WriteManifestXml(one);
    const size_t line = xml.find('\n') + 1;
    return xml.substr(line, xml.find('\n', line) + 1 - line);
}

// The files' data back to back; `extra` elements go into the manifest as they are.
inline TestPackage MakePackage(const std::vector<ClientFile>& files, const std::string& extra = "")
{
    TestPackage made;
    std::string elements;
    for (const ClientFile& file : files)
    {
        const std::string data = file.Compressed ? Lzma86Of(file.Bytes) : file.Bytes;
        elements += FileElement(file.Name, file.Bytes, made.Package.size(), data.size(), file.Compressed);
        made.Starts.push_back(made.Package.size());
        made.Package += data;
    }
    Manifest root;
    root.Package.TotalSize = static_cast<uint32_t>(made.Package.size());
    root.Package.Crc32c = Crc32c(made.Package.data(), made.Package.size());
    const std::string empty = WriteManifestXml(root);
    const size_t closing = empty.find("</");
    made.Xml = empty.substr(0, closing) + elements + extra + empty.substr(closing);
    return made;
}

// A chunk index and its one pack, as the publisher lays them out for version
// `version`: each file cut, each distinct chunk packed once (Lzma86 when that
// is smaller, else stored), in order of first use.
struct TestChunks
{
    std::string Index;
    std::string Pack;
};

inline TestChunks MakeChunks(const std::vector<ClientFile>& files, const std::string& version)
{
    ChunkIndex index;
    index.Version = version;
    std::map<Sha256Digest, uint32_t> numbers;
    TestChunks made;
    for (const ClientFile& file : files)
    {
        ChunkIndexFile listed{Utf8ToWide(file.Name.c_str()), file.Bytes.size(), {}};
        const auto* bytes = reinterpret_cast<const uint8_t*>(file.Bytes.data());
        for (const ChunkSpan& span : ContentChunker::Cut(bytes, file.Bytes.size(), index.Sizes))
        {
            const std::string chunk = file.Bytes.substr(span.Offset, span.Length);
            ChunkRecord record{*Sha256::Of(chunk.data(), chunk.size()), span.Length, 0, made.Pack.size()};
            const auto [at, added] =
                numbers.emplace(record.Sha256, static_cast<uint32_t>(index.Chunks.size()));
            if (added)
            {
                const std::string packed = Lzma86Of(chunk);
                const bool smaller = packed.size() < chunk.size();
                record.Form = smaller ? ChunkForm::Lzma86 : ChunkForm::Stored;
                made.Pack += smaller ? packed : chunk;
                record.StoredSize = static_cast<uint32_t>(made.Pack.size() - record.Offset);
                index.Chunks.push_back(record);
            }
            listed.Chunks.push_back(at->second);
        }
        index.Files.push_back(listed);
    }
    index.Packs.push_back({"Startup" + version + ".chunkpack", made.Pack.size()});
    const std::vector<uint8_t> written = WriteChunkIndex(index);
    made.Index.assign(written.begin(), written.end());
    return made;
}
