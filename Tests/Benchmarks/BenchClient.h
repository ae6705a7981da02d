#pragma once
// What the benchmark programs share: the made-up game client they write (groups
// of files in nested folders, text-like or random bytes) and their clocks.
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace BenchClient
{
constexpr uint64_t KiB = 1024, MiB = 1024 * KiB;

// xorshift64: the same client bytes on every run, and fast enough not to be what is measured.
struct Random
{
    uint64_t State = 0x9E3779B97F4A7C15ull;
    uint64_t Next()
    {
        State ^= State << 13, State ^= State >> 7, State ^= State << 17;
        return State;
    }
    uint64_t Between(uint64_t low, uint64_t high) { return low + Next() % (high - low + 1); }
};

// Writes one file in 1 MiB pieces, so the client never sits in memory whole.
// Text is game-data words drawn at random: it shrinks well, like configuration
// and scripts, but has no long repeats for LZMA to skip through.
inline bool WriteClientFile(const std::filesystem::path& path, uint64_t size, bool text, Random& random)
{
    static const char* const Words[] = {"actor ", "bone ",    "cast ",   "damage ", "effect ",
                                        "frame ", "guild ",   "hero ",   "item ",   "journey ",
                                        "key=",   "level ",   "mesh ",   "node ",   "quest ",
                                        "skill ", "texture ", "value\n", "world ",  "zone\n"};
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    std::string piece;
    for (uint64_t left = size; left > 0 && out;)
    {
        const size_t count = static_cast<size_t>(std::min<uint64_t>(left, MiB));
        piece.clear();
        while (piece.size() < count)
        {
            if (text)
                piece += Words[random.Next() % std::size(Words)];
            else
                for (uint64_t value = random.Next(), k = 0; k < 8; ++k, value >>= 8)
                    piece += static_cast<char>(value);
        }
        out.write(piece.data(), static_cast<std::streamsize>(count));
        left -= count;
    }
    return out.good();
}

inline double SecondsOf(const std::chrono::steady_clock::time_point& start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// A "VmHWM:" or "VmRSS:" value of this process in KiB, -1 when it cannot be read.
inline long StatusKiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(key, 0) == 0)
            return std::atol(line.c_str() + std::string(key).size());
    return -1;
}

// MB = 10^6 bytes.
inline double MBps(uint64_t bytes, double seconds)
{
    return static_cast<double>(bytes) / 1e6 / seconds;
}
// Count files of Low to High bytes under Folder/SetN/PartN/, named fileI + Extension.
struct Group
{
    const char* Folder;
    const char* Extension;
    int Count;
    uint64_t Low, High;
};

// Writes every group's files under `root`, each text-like or random at a coin
// toss; the total of their sizes, 0 when a file could not be written.
inline uint64_t Generate(const std::filesystem::path& root, const std::vector<Group>& groups, size_t& count)
{
    Random random;
    uint64_t total = 0;
    count = 0;
    for (const Group& group : groups)
    {
        for (int i = 0; i < group.Count; ++i)
        {
            const std::string name = std::string(group.Folder) + "/Set" + std::to_string(i % 7) + "/Part" +
                                     std::to_string(i % 3) + "/file" + std::to_string(i) + group.Extension;
            const uint64_t size = random.Between(group.Low, group.High);
            if (!WriteClientFile(root / name, size, (random.Next() & 1) != 0, random))
                return 0;
            total += size, ++count;
        }
    }
    return total;
}
// The client the update benchmarks work on: 1,900 files of 1-64 KiB, 100 of
// 1-8 MiB, 7 of 50-100 MiB (two of them .dll, which the publisher packs with the
// x86 filter): about 1 GiB, four folders deep. The tiny client has the same
// shape at 40, 3 and 2 files, about 2 MiB.
inline std::vector<Group> UpdateClientGroups(bool tiny)
{
    if (tiny)
        return {{"Data", ".dat", 40, KiB, 32 * KiB},
                {"Media", ".pak", 3, 256 * KiB, 512 * KiB},
                {"Bin", ".dll", 2, 128 * KiB, 256 * KiB}};
    return {{"Data", ".dat", 1900, KiB, 64 * KiB},
            {"Media", ".pak", 100, MiB, 8 * MiB},
            {"Bin", ".dll", 2, 50 * MiB, 100 * MiB},
            {"Archive", ".res", 5, 50 * MiB, 100 * MiB}};
}

// A client of many small files, as scripts and tables make it: `files` of 200
// to 2,600 bytes (1.4 KB on average, so 50,000 make some 70 MB), spread over
// five kinds, each in 21 folders three deep.
inline std::vector<Group> SmallFileGroups(int files)
{
    static const char* const Kinds[][2] = {
        {"Data", ".dat"}, {"Script", ".lua"}, {"Ui", ".xml"}, {"Map", ".map"}, {"Sound", ".cfg"}};
    std::vector<Group> groups;
    for (int kind = 0; kind < 5; ++kind)
        groups.push_back({Kinds[kind][0], Kinds[kind][1], files / 5 + (kind < files % 5 ? 1 : 0), 200, 2600});
    return groups;
}
} // namespace BenchClient
