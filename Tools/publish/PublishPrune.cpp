// publish prune-chunks: the chunk packs in a store that no index there names.
#include "ChunkIndex.h"
#include "ChunkIndexFormat.h"
#include "PublishCommon.h"

#include "ToolFiles.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// The files in `folder` whose names end in `suffix`, in name order.
bool ListEndingIn(const fs::path& folder, const char* suffix, std::vector<fs::path>& files)
{
    std::error_code error;
    for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
         it.increment(error))
    {
        std::error_code kindError;
        if (it->is_regular_file(kindError) && it->path().extension() == suffix)
            files.push_back(it->path());
    }
    if (error)
        Fail("cannot list %s: %s", folder.c_str(), error.message().c_str());
    std::sort(files.begin(), files.end());
    return !error;
}

// Every pack name an index in `folder` holds; false when one cannot be read,
// since a pack it names must not go.
bool NamedPacks(const fs::path& folder, std::set<std::string>& names)
{
    std::vector<fs::path> indices;
    if (!ListEndingIn(folder, ChunkIndexFormat::IndexSuffix, indices))
        return false;
    for (const fs::path& file : indices)
    {
        std::vector<uint8_t> bytes;
        ChunkIndex index;
        std::string why;
        if (!ReadWholeFile(file, bytes))
            why = std::strerror(errno);
        else if (ParseChunkIndex(bytes.data(), bytes.size(), index, why))
            for (const ChunkPackInfo& pack : index.Packs)
                names.insert(pack.Name);
        if (!why.empty())
        {
            Fail("%s cannot be read (%s): nothing is pruned", file.c_str(), why.c_str());
            return false;
        }
    }
    return true;
}
} // namespace

int RunPruneChunks(int argc, char** argv)
{
    std::string store;
    bool remove = false;
    for (int i = 2; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--delete")
            remove = true;
        else if (option != "--store")
            return BadUsage(("unknown option " + option).c_str());
        else if (!TakeValue(argc, argv, i, store))
            return 2;
    }
    if (store.empty())
        return BadUsage("publish prune-chunks needs --store");
    std::set<std::string> named;
    std::vector<fs::path> packs;
    if (!NamedPacks(store, named) || !ListEndingIn(store, ChunkIndexFormat::PackSuffix, packs))
        return 1;
    size_t unused = 0;
    for (const fs::path& pack : packs)
    {
        if (named.count(pack.filename().u8string()))
            continue;
        ++unused;
        std::error_code error;
        if (remove && !fs::remove(pack, error))
        {
            Fail("cannot delete %s: %s", pack.c_str(), error.message().c_str());
            return 1;
        }
        std::printf("%s %s\n", remove ? "deleted:" : "unused:", pack.string().c_str());
    }
    std::printf("publish: %zu of %zu chunk packs in %s named by no index\n", unused, packs.size(),
                store.c_str());
    return 0;
}
