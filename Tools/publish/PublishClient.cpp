// publish client: the package and the manifest the launcher fetches.
#include "ChunkPackWriter.h"
#include "ChunkStore.h"
#include "PublishCommon.h"
#include "PublishSignature.h"

#include "ChunkIndexFormat.h"
#include "Crc32c.h"
#include "Lzma86.h"
#include "Manifest.h"
#include "PackageCheck.h"
#include "Sha256.h"
#include "Xxh32.h"

#include "ToolFiles.h"

#include "xString.h"
#include "xStringOps.h"

#include <algorithm>
#include <condition_variable>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <mutex>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// The launcher keeps package sums in 32 bits and reads signed sizes here and there.
constexpr uint64_t MaxPackageSize = 0x7FFFFFFF;

bool EndsWithNoCase(const std::string& text, const char* suffix)
{
    const size_t length = std::strlen(suffix);
    if (text.size() < length)
        return false;
    for (size_t i = 0; i < length; ++i)
    {
        const char a = text[text.size() - length + i];
        const char lower = (a >= 'A' && a <= 'Z') ? static_cast<char>(a - 'A' + 'a') : a;
        if (lower != suffix[i])
            return false;
    }
    return true;
}

struct ClientFile
{
    std::string Name; // UTF-8, "/" between folders
    xWString WideName;
    fs::path Path;
};

bool CollectClientFiles(const fs::path& source, std::vector<ClientFile>& files)
{
    std::error_code error;
    fs::recursive_directory_iterator it(source, error);
    for (; !error && it != fs::recursive_directory_iterator(); it.increment(error))
    {
        std::error_code kindError;
        if (!it->is_regular_file(kindError))
            continue;
        ClientFile file;
        file.Path = it->path();
        file.Name = file.Path.lexically_relative(source).generic_string();
        if (!IsValidUtf8(file.Name))
        {
            Fail("%s: the name is not valid UTF-8", file.Path.c_str());
            return false;
        }
        file.WideName = xWString(xString(file.Name.c_str()));
        if (IsReservedClientName(file.WideName))
        {
            Fail("%s: the launcher keeps its own record under this name in the publish folder",
                 file.Path.c_str());
            return false;
        }
        // Every launcher would skip such an entry, leaving the client without the file.
        if (HasControlCharacter(file.Name) || !IsSafeManifestName(file.WideName))
        {
            Fail("%s: names may not hold \\ : * ? \" < > | or control characters, end a part in a dot or a "
                 "blank, or name a device",
                 file.Path.c_str());
            return false;
        }
        files.push_back(std::move(file));
    }
    if (error)
    {
        Fail("cannot list %s: %s", source.c_str(), error.message().c_str());
        return false;
    }
    // Case-folded order, ties by the exact units, so that names the launcher's
    // file system cannot tell apart sit side by side and runs are repeatable.
    std::sort(files.begin(), files.end(),
              [](const ClientFile& left, const ClientFile& right)
              {
                  const int folded = CompareNoCase(left.WideName, right.WideName);
                  return folded != 0 ? folded < 0 : left.WideName < right.WideName;
              });
    for (size_t i = 1; i < files.size(); ++i)
    {
        if (EqualsNoCase(files[i - 1].WideName, files[i].WideName))
        {
            Fail("%s and %s differ only in case", files[i - 1].Name.c_str(), files[i].Name.c_str());
            return false;
        }
    }
    return true;
}

bool IsInside(const fs::path& inner, const fs::path& outer)
{
    std::error_code error;
    const fs::path a = fs::weakly_canonical(inner, error);
    const fs::path b = fs::weakly_canonical(outer, error);
    const fs::path relative = a.lexically_relative(b);
    return !relative.empty() && *relative.begin() != "..";
}

bool IsValidVersionText(const std::string& text)
{
    return !text.empty() && IsValidUtf8(text) && !HasControlCharacter(text) &&
           text.find_first_of("/\\:,=*?\"<>|") == std::string::npos;
}

// Pieces LZMA at its fastest must shrink before a file is compressed at the
// chosen level: random or already packed data does not shrink, and compressing
// all of it at the chosen level costs seconds per megabyte only to be thrown away.
constexpr size_t SampleSize = 64 * 1024;
constexpr size_t SampleCount = 4;
// Files this small are compressed whole: the sample would cost as much.
constexpr size_t SampleFrom = 4 * 1024;

bool LooksCompressible(const std::vector<uint8_t>& bytes, bool useFilter)
{
    Lzma86EncodeOptions fast;
    fast.Level = 0;
    fast.DictionarySize = SampleSize;
    // Spread over the file, the first and last pieces included; a file of a few
    // pieces is its own sample.
    const size_t count = bytes.size() <= SampleSize * SampleCount ? 1 : SampleCount;
    size_t sampled = 0, packed = 0;
    for (size_t k = 0; k < count; ++k)
    {
        const size_t length = count == 1 ? bytes.size() : SampleSize;
        const size_t at = count == 1 ? 0 : (bytes.size() - SampleSize) / (count - 1) * k;
        std::vector<uint8_t> container;
        if (!EncodeLzma86(bytes.data() + at, length, useFilter, container, fast))
            return true; // the real pass reports the failure
        sampled += length;
        packed += container.size() - Lzma86HeaderSize;
    }
    // Less than 1/32 saved is not worth the time at the chosen level.
    return packed < sampled - sampled / 32;
}

// The dictionary for one file: the chosen one, or less when the file is smaller,
// rounded up as the LZMA SDK rounds (2 or 3 times a power of two, 64 KiB at
// least). The match finder's tables follow the dictionary size, and setting them
// up for 4 MiB cost about 30 ms a file, more than compressing a small file. A
// dictionary that holds the whole file loses nothing (on text, machine code and
// random bytes of 1 KB to 2.5 MB the stream came out byte for byte the same).
uint32_t DictionaryFor(size_t size, uint32_t chosen)
{
    for (unsigned shift = 15; shift <= 30; ++shift)
    {
        if (size <= (size_t(2) << shift))
            return std::min(chosen, uint32_t(2) << shift);
        if (size <= (size_t(3) << shift))
            return std::min(chosen, uint32_t(3) << shift);
    }
    return chosen;
}

// One file as it goes into the package.
struct PackedFile
{
    std::vector<uint8_t> Data; // the Lzma86 container or the file itself
    size_t OrigSize = 0;
    uint32_t OrigCrc = 0;
    uint32_t Xx = 0;
    Sha256Digest Sha256{};
    bool Compressed = false;
    std::vector<PreparedChunk> Chunks;
    std::string Error; // when not empty, publishing stops with it
};

// What every file is packed with.
struct PackOptions
{
    Lzma86EncodeOptions Lzma;
    bool WithXx = false;
    const ChunkStore* Store = nullptr;
};

PackedFile PackFile(const ClientFile& file, const PackOptions& packOptions)
{
    const Lzma86EncodeOptions& options = packOptions.Lzma;
    const bool withXx = packOptions.WithXx;
    PackedFile result;
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(file.Path, bytes))
    {
        result.Error = "cannot read " + file.Path.string() + ": " + std::strerror(errno);
        return result;
    }
    result.OrigSize = bytes.size();
    if (result.OrigSize > UINT32_MAX)
    {
        result.Error = file.Name + " is 4 GiB or larger; the manifest's sizes have 32 bits";
        return result;
    }
    result.OrigCrc = Crc32c(bytes.data(), bytes.size());
    const std::optional<Sha256Digest> sha256 = Sha256::Of(bytes.data(), bytes.size());
    if (!sha256)
    {
        result.Error = "cannot hash " + file.Name;
        return result;
    }
    result.Sha256 = *sha256;
    if (withXx)
        result.Xx = Xxh32(bytes.data(), bytes.size());
    std::vector<uint8_t> container;
    const bool useFilter = EndsWithNoCase(file.Name, ".exe") || EndsWithNoCase(file.Name, ".dll");
    Lzma86EncodeOptions fitted = options;
    fitted.DictionarySize = DictionaryFor(bytes.size(), options.DictionarySize);
    const bool compressible = bytes.size() <= SampleFrom || LooksCompressible(bytes, useFilter);
    if (!bytes.empty() && bytes.size() <= Lzma86MaxUnpackedSize && compressible &&
        !EncodeLzma86(bytes.data(), bytes.size(), useFilter, container, fitted))
    {
        result.Error = "compressing " + file.Name + " failed";
        return result;
    }
    Lzma86EncodeOptions chunkOptions = options;
    chunkOptions.DictionarySize = DictionaryFor(ChunkSizes().Maximum, options.DictionarySize);
    if (!PrepareChunks(bytes, compressible, useFilter, chunkOptions, *packOptions.Store, result.Chunks))
    {
        result.Error = "cutting " + file.Name + " into chunks failed";
        return result;
    }
    result.Compressed = !container.empty() && container.size() < bytes.size();
    result.Data.swap(result.Compressed ? container : bytes);
    return result;
}

// Packs the files on worker threads, each file whole on one worker with the same
// options, and hands them out in the files' order: the package is the same for
// any number of workers. Workers run ahead of the reader by at most a few files
// or MaxAheadBytes of input, whichever lets more through, so memory stays bounded.
class ClientPacker
{
public:
    ClientPacker(const std::vector<ClientFile>& files, const PackOptions& options, unsigned threads)
        : m_Files(files), m_Options(options), m_Results(files.size()), m_Ready(files.size(), false),
          m_Sizes(files.size(), 0), m_MaxAhead(threads)
    {
        for (size_t i = 0; i < files.size(); ++i)
        {
            std::error_code error;
            const uintmax_t size = fs::file_size(files[i].Path, error);
            m_Sizes[i] = error ? 0 : static_cast<size_t>(size);
        }
        for (unsigned i = 0; i < threads; ++i)
            m_Workers.emplace_back([this] { Work(); });
    }

    ~ClientPacker()
    {
        {
            std::lock_guard<std::mutex> lock(m_Lock);
            m_Stopping = true;
        }
        m_Changed.notify_all();
        for (std::thread& worker : m_Workers)
            worker.join();
    }

    ClientPacker(const ClientPacker&) = delete;
    ClientPacker& operator=(const ClientPacker&) = delete;

    // Waits for file `index` (taken in order, each once) and moves it out.
    PackedFile Take(size_t index)
    {
        std::unique_lock<std::mutex> lock(m_Lock);
        m_Changed.wait(lock, [&] { return m_Ready[index]; });
        PackedFile result = std::move(m_Results[index]);
        m_Ready[index] = false;
        m_Taken = index + 1;
        m_AheadBytes -= m_Sizes[index];
        lock.unlock();
        m_Changed.notify_all();
        return result;
    }

private:
    static constexpr size_t MaxAheadBytes = size_t(512) << 20;

    bool MayStartNext() const
    {
        return m_Next < m_Files.size() &&
               (m_Next < m_Taken + m_MaxAhead || m_AheadBytes + m_Sizes[m_Next] <= MaxAheadBytes);
    }

    void Work()
    {
        std::unique_lock<std::mutex> lock(m_Lock);
        for (;;)
        {
            m_Changed.wait(lock, [&] { return m_Stopping || m_Next >= m_Files.size() || MayStartNext(); });
            if (m_Stopping || m_Next >= m_Files.size())
                return;
            const size_t index = m_Next++;
            m_AheadBytes += m_Sizes[index];
            lock.unlock();
            PackedFile result = PackFile(m_Files[index], m_Options);
            lock.lock();
            m_Results[index] = std::move(result);
            m_Ready[index] = true;
            m_Changed.notify_all();
        }
    }

    const std::vector<ClientFile>& m_Files;
    const PackOptions m_Options;
    std::vector<PackedFile> m_Results;
    std::vector<bool> m_Ready;
    std::vector<size_t> m_Sizes;
    const size_t m_MaxAhead;
    size_t m_Next = 0;
    size_t m_Taken = 0;
    size_t m_AheadBytes = 0;
    bool m_Stopping = false;
    std::mutex m_Lock;
    std::condition_variable m_Changed;
    std::vector<std::thread> m_Workers;
};

// The manifest's line for a packed file whose data starts at `start`.
ManifestEntry EntryOf(const ClientFile& file, const PackedFile& packed, size_t start, bool withXx)
{
    ManifestEntry entry;
    entry.Name = file.WideName;
    entry.OrigSize = static_cast<uint32_t>(packed.OrigSize);
    entry.OrigCrc32c = packed.OrigCrc;
    entry.XxPresent = withXx;
    entry.Xx = packed.Xx;
    entry.Sha256Present = true;
    entry.Sha256 = packed.Sha256;
    entry.StartPos = static_cast<uint32_t>(start);
    entry.DataSize = static_cast<uint32_t>(packed.Data.size());
    entry.Compressed = packed.Compressed ? 1 : 0;
    return entry;
}

// The chunk pack goes in before its index names it, and the index, signed as
// the manifest is, before the manifest.
bool CommitChunks(const fs::path& packPath, const fs::path& indexPath, const ChunkIndex& index,
                  const UpdateSigner& signer)
{
    if (!CommitTemporary(packPath))
        return false;
    const std::vector<uint8_t> bytes = WriteChunkIndex(index);
    if (!WriteTemporary(indexPath, bytes.data(), bytes.size()))
        return false;
    if (signer.IsLoaded() && !signer.WriteSignatureFor(indexPath, bytes.data(), bytes.size()))
    {
        DropTemporary(indexPath);
        return false;
    }
    return CommitTemporary(indexPath);
}
} // namespace

int RunClient(int argc, char** argv)
{
    std::string source, version, out, key, chunkStore;
    bool withXx = false;
    int level = 5;
    unsigned threads = std::max(1u, std::thread::hardware_concurrency());
    for (int i = 2; i < argc; ++i)
    {
        const std::string option = argv[i];
        std::string levelText, threadsText;
        if (option == "--source"        ? !TakeValue(argc, argv, i, source)
            : option == "--version"     ? !TakeValue(argc, argv, i, version)
            : option == "--out"         ? !TakeValue(argc, argv, i, out)
            : option == "--level"       ? !TakeValue(argc, argv, i, levelText)
            : option == "--threads"     ? !TakeValue(argc, argv, i, threadsText)
            : option == "--key"         ? !TakeValue(argc, argv, i, key)
            : option == "--chunk-store" ? !TakeValue(argc, argv, i, chunkStore)
                                        : false)
            return 2;
        if (option == "--xx")
            withXx = true;
        else if (option == "--level")
        {
            char* end = nullptr;
            const long value = std::strtol(levelText.c_str(), &end, 10);
            if (levelText.empty() || *end != '\0' || value < 0 || value > 9)
                return BadUsage("--level takes 0 to 9");
            level = static_cast<int>(value);
        }
        else if (option == "--threads")
        {
            char* end = nullptr;
            const long value = std::strtol(threadsText.c_str(), &end, 10);
            if (threadsText.empty() || *end != '\0' || value < 1 || value > 256)
                return BadUsage("--threads takes 1 to 256");
            threads = static_cast<unsigned>(value);
        }
        else if (option != "--source" && option != "--version" && option != "--out" && option != "--key" &&
                 option != "--chunk-store")
            return BadUsage(("unknown option " + option).c_str());
    }
    if (source.empty() || version.empty() || out.empty())
        return BadUsage("publish client needs --source, --version and --out");
    // The key is read first: a bad one must not cost a whole packing run.
    UpdateSigner signer;
    if (!key.empty() && !signer.Load(key))
        return 1;
    if (!IsValidVersionText(version))
        return BadUsage(
            "the version must be UTF-8 without control characters or any of / \\ : , = * ? \" < > |");
    if (version.size() > ChunkIndexFormat::MaxVersionBytes)
        return BadUsage("the version may hold at most 256 bytes");
    std::error_code error;
    if (!fs::is_directory(source, error))
    {
        Fail("%s is not a folder", source.c_str());
        return 1;
    }
    if (IsInside(out, source))
    {
        Fail("the output folder %s lies inside the client folder %s", out.c_str(), source.c_str());
        return 1;
    }
    std::vector<ClientFile> files;
    if (!CollectClientFiles(source, files))
        return 1;
    if (files.empty())
    {
        Fail("%s holds no files", source.c_str());
        return 1;
    }

    fs::create_directories(out, error);
    if (error)
    {
        Fail("cannot create %s: %s", out.c_str(), error.message().c_str());
        return 1;
    }
    const fs::path packagePath = fs::path(out) / fs::u8path("Startup" + version + ".pkg");
    const fs::path manifestPath = fs::path(out) / fs::u8path("Startup" + version + ".crc");
    const fs::path chunkPackPath =
        fs::path(out) / fs::u8path("Startup" + version + ChunkIndexFormat::PackSuffix);
    const fs::path chunkIndexPath =
        fs::path(out) / fs::u8path("Startup" + version + ChunkIndexFormat::IndexSuffix);
    // The out folder is read too, only so that no pack another index names is replaced.
    ChunkStore store, published;
    const std::string ownPack = chunkPackPath.filename().u8string(),
                      ownIndex = chunkIndexPath.filename().u8string();
    if ((fs::is_directory(out, error) && !published.Load(out, ownPack, ownIndex)) ||
        (!chunkStore.empty() && !store.Load(chunkStore, ownPack, ownIndex)))
        return 1;

    // The package goes to its temporary file file by file, summed on the way: a
    // client of gigabytes never sits in memory whole.
    std::ofstream package;
    ChunkPackWriter chunks(chunkPackPath, version);
    if (!OpenTemporary(packagePath, package))
        return 1;
    const auto giveUp = [&]
    {
        package.close();
        DropTemporary(packagePath);
        chunks.Drop();
        return 1;
    };
    if (!chunks.Open())
        return giveUp();
    Lzma86EncodeOptions options;
    options.Level = level;
    size_t packageSize = 0;
    uint32_t packageCrc = 0;
    Xxh32Stream packageXx;
    Sha256 packageSha256;
    Manifest contents;
    size_t compressedCount = 0;
    ClientPacker packer(files, {options, withXx, &store}, threads);
    for (size_t index = 0; index < files.size(); ++index)
    {
        const ClientFile& file = files[index];
        const PackedFile packed = packer.Take(index);
        if (!packed.Error.empty())
        {
            Fail("%s", packed.Error.c_str());
            return giveUp();
        }
        const std::vector<uint8_t>& data = packed.Data;
        if (packageSize + data.size() > MaxPackageSize)
        {
            Fail("the package would reach 2 GiB at %s; the launcher reads less", file.Name.c_str());
            return giveUp();
        }
        contents.Entries.push_back(EntryOf(file, packed, packageSize, withXx));
        chunks.AddFile(file.WideName, packed.OrigSize, packed.Chunks, store);
        package.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
        packageCrc = Crc32c(data.data(), data.size(), packageCrc);
        if (withXx)
            packageXx.Update(data.data(), data.size());
        packageSha256.Update(data.data(), data.size());
        packageSize += data.size();
        compressedCount += packed.Compressed ? 1 : 0;
    }
    if (!CloseTemporary(packagePath, package))
        return giveUp();
    if (!chunks.Close())
    {
        DropTemporary(packagePath);
        return 1;
    }
    const std::optional<Sha256Digest> packageDigest = packageSha256.Finish();
    if (!packageDigest)
    {
        Fail("cannot hash the package");
        return giveUp();
    }

    PackageInfo& sums = contents.Package;
    sums.TotalSize = static_cast<uint32_t>(packageSize);
    sums.Crc32c = packageCrc;
    sums.XxPresent = withXx;
    sums.Xx = withXx ? packageXx.Digest() : 0;
    sums.Sha256Present = true;
    sums.Sha256 = *packageDigest;
    const std::string xml = WriteManifestXml(contents);
    std::vector<uint8_t> manifest;
    if (!EncodeLzma86(reinterpret_cast<const uint8_t*>(xml.data()), xml.size(), false, manifest, options))
    {
        Fail("compressing the manifest failed");
        return giveUp();
    }
    if (!WriteTemporary(manifestPath, manifest.data(), manifest.size()))
        return giveUp();
    // The package goes first: a manifest must never name data that is not there yet.
    if (!CommitTemporary(packagePath) || !CommitChunks(chunkPackPath, chunkIndexPath, chunks.Index(), signer))
    {
        chunks.Drop();
        DropTemporary(manifestPath);
        return 1;
    }
    if (signer.IsLoaded() && !signer.WriteSignatureFor(manifestPath, manifest.data(), manifest.size()))
    {
        DropTemporary(manifestPath);
        return 1;
    }
    if (!CommitTemporary(manifestPath))
        return 1;
    std::printf("publish: %zu files (%zu compressed), package %zu bytes: %s, manifest %zu bytes: %s\n",
                files.size(), compressedCount, packageSize, packagePath.string().c_str(), manifest.size(),
                manifestPath.string().c_str());
    std::printf("publish: %zu chunks, %zu of them new (pack %llu bytes): %s, index: %s\n",
                chunks.Index().Chunks.size(), chunks.PackedChunks(),
                static_cast<unsigned long long>(chunks.PackSize()), chunkPackPath.string().c_str(),
                chunkIndexPath.string().c_str());
    return 0;
}
