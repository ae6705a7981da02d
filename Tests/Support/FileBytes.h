#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

// Whole files as bytes and lines, for checking what the code under test wrote.

inline std::string ReadFileBytes(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Writes `content` (folders created as needed); false when the file cannot be written.
inline bool WriteFileBytes(const std::filesystem::path& path, const std::string& content)
{
    std::error_code ignored;
    std::filesystem::create_directories(path.parent_path(), ignored);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return out.good();
}

// The lines of `text` without their line feeds (and without the CR of a CR LF).
inline std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);)
    {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

inline std::vector<std::string> ReadFileLines(const std::filesystem::path& path)
{
    return SplitLines(ReadFileBytes(path));
}

// `count` bytes of a repeatable pseudo-random pattern: different seeds give different
// bytes, and no run of it repeats soon, so a misplaced or shifted byte shows.
inline std::string PatternBytes(size_t count, uint32_t seed = 1)
{
    std::string bytes(count, '\0');
    uint32_t state = seed * 2654435761u + 1;
    for (size_t i = 0; i < count; ++i)
    {
        state = state * 1664525u + 1013904223u;
        bytes[i] = static_cast<char>(state >> 24);
    }
    return bytes;
}
