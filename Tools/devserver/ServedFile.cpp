#include "ServedFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<std::string> RelativeServedPath(const std::string& decodedPath)
{
    if (decodedPath.empty() || decodedPath[0] != '/')
        return std::nullopt;
    for (const char c : decodedPath)
    {
        if (c == '\\' || static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            return std::nullopt;
    }
    std::string relative;
    size_t start = 1;
    while (start <= decodedPath.size())
    {
        size_t slash = decodedPath.find('/', start);
        if (slash == std::string::npos)
            slash = decodedPath.size();
        const std::string component = decodedPath.substr(start, slash - start);
        start = slash + 1;
        if (component.empty() || component == ".")
            continue;
        // Refused outright rather than resolved: nothing legitimate climbs.
        if (component == "..")
            return std::nullopt;
        if (!relative.empty())
            relative += '/';
        relative += component;
    }
    return relative;
}

ServedFile::~ServedFile()
{
    if (m_Descriptor >= 0)
        close(m_Descriptor);
}

ServedFile::Outcome ServedFile::Open(const std::string& realRoot, const std::string& relativePath)
{
    if (relativePath.empty())
        return Outcome::NotFound;
    const std::string joined = realRoot + "/" + relativePath;
    char resolved[PATH_MAX];
    if (realpath(joined.c_str(), resolved) == nullptr)
        return Outcome::NotFound;
    const std::string real = resolved;
    // The resolved path, symbolic links followed, must still lie below the root.
    const bool inside = realRoot == "/" ? true
                                        : real.size() > realRoot.size() &&
                                              real.compare(0, realRoot.size(), realRoot) == 0 &&
                                              real[realRoot.size()] == '/';
    if (!inside)
        return Outcome::Refused;
    // O_NONBLOCK: a FIFO swapped in after realpath must not hang the thread;
    // regular files ignore the flag. O_NOFOLLOW: nor may a new symbolic link.
    const int descriptor = open(real.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW);
    if (descriptor < 0)
        return Outcome::NotFound;
    struct stat status;
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode))
    {
        close(descriptor);
        return Outcome::NotFound;
    }
    m_Descriptor = descriptor;
    m_Size = static_cast<uint64_t>(status.st_size);
    return Outcome::Opened;
}

long long ServedFile::ReadAt(uint64_t offset, char* buffer, size_t length) const
{
    size_t done = 0;
    while (done < length)
    {
        const ssize_t got =
            pread(m_Descriptor, buffer + done, length - done, static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return -1;
        if (got == 0)
            break; // the file shrank while being served
        done += static_cast<size_t>(got);
    }
    return static_cast<long long>(done);
}

std::string RealFolderPath(const std::string& folder)
{
    char resolved[PATH_MAX];
    if (realpath(folder.c_str(), resolved) == nullptr)
        return std::string();
    struct stat status;
    if (stat(resolved, &status) != 0 || !S_ISDIR(status.st_mode))
        return std::string();
    return resolved;
}

std::string ContentTypeFor(const std::string& path)
{
    static const struct
    {
        const char* Extension;
        const char* Type;
    } types[] = {
        {".html", "text/html"},     {".htm", "text/html"},  {".css", "text/css"},
        {".js", "text/javascript"}, {".txt", "text/plain"}, {".json", "application/json"},
        {".xml", "text/xml"},       {".png", "image/png"},  {".jpg", "image/jpeg"},
        {".jpeg", "image/jpeg"},    {".gif", "image/gif"},  {".ico", "image/x-icon"},
    };
    const size_t dot = path.rfind('.');
    const size_t slash = path.rfind('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
    {
        std::string extension = path.substr(dot);
        for (char& c : extension)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        for (const auto& entry : types)
        {
            if (extension == entry.Extension)
                return entry.Type;
        }
    }
    return "application/octet-stream";
}
