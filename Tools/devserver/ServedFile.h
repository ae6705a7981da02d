#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The decoded URL path turned into a path relative to the served folder, with
// "." and empty components dropped; nothing when the path must be refused: it
// does not start with "/", climbs with "..", holds a backslash (a Windows
// separator on the client's side) or a control character (NUL among them).
std::optional<std::string> RelativeServedPath(const std::string& decodedPath);

// An open regular file below the root; the descriptor closes with the object.
class ServedFile
{
public:
    enum class Outcome
    {
        Opened,
        NotFound, // missing, a folder, or anything but a regular file
        Refused,  // resolves outside the root (a symbolic link leading out)
    };

    ServedFile() = default;
    ~ServedFile();
    ServedFile(const ServedFile&) = delete;
    ServedFile& operator=(const ServedFile&) = delete;

    // realRoot is the root folder as realpath() gives it.
    Outcome Open(const std::string& realRoot, const std::string& relativePath);

    uint64_t Size() const { return m_Size; }
    // Reads up to length bytes at offset; -1 on failure.
    long long ReadAt(uint64_t offset, char* buffer, size_t length) const;

private:
    int m_Descriptor = -1;
    uint64_t m_Size = 0;
};

// realpath() of a folder; empty when it does not exist or is not a folder.
std::string RealFolderPath(const std::string& folder);

// The Content-Type for a file name: the few kinds a browser must render (the
// login page and what it loads); everything else is a download.
std::string ContentTypeFor(const std::string& path);
