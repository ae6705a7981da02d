#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <vector>

// What the operators' tools share: their error lines and how they read inputs
// and write outputs, so that no output is ever left half-written under its name.

// The word in front of every error line ("respack", "publish").
void SetToolName(const char* name);
// One line on stderr: "<tool>: <message>".
void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));

bool ReadWholeFile(const std::filesystem::path& path, std::vector<uint8_t>& bytes);

// Writes `<path>.tmp`; CommitTemporary renames it into place, DropTemporary removes it.
bool WriteTemporary(const std::filesystem::path& path, const void* data, size_t length);
// The same in pieces, for an output too large to hold in memory: OpenTemporary
// creates `<path>.tmp`, the caller writes to `output`, CloseTemporary closes it and
// says whether every byte went out (removing the file when not).
bool OpenTemporary(const std::filesystem::path& path, std::ofstream& output);
bool CloseTemporary(const std::filesystem::path& path, std::ofstream& output);
bool CommitTemporary(const std::filesystem::path& path);
void DropTemporary(const std::filesystem::path& path);
// Both at once: the file under `path` is either the old one or the whole new one.
bool WriteAtomically(const std::filesystem::path& path, const void* data, size_t length);
