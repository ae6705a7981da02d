#include "ToolFiles.h"

#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

namespace
{
const char* ToolName = "tool";

fs::path TemporaryOf(const fs::path& path)
{
    fs::path temporary = path;
    temporary += ".tmp";
    return temporary;
}
} // namespace

void SetToolName(const char* name)
{
    ToolName = name;
}

void Fail(const char* format, ...)
{
    std::va_list arguments;
    va_start(arguments, format);
    std::fprintf(stderr, "%s: ", ToolName);
    std::vfprintf(stderr, format, arguments);
    std::fprintf(stderr, "\n");
    va_end(arguments);
}

bool ReadWholeFile(const fs::path& path, std::vector<uint8_t>& bytes)
{
    std::ifstream input(path, std::ios::binary);
    if (!input)
        return false;
    input.seekg(0, std::ios::end);
    const std::streamoff size = input.tellg();
    if (size < 0)
        return false;
    input.seekg(0, std::ios::beg);
    bytes.resize(static_cast<size_t>(size));
    return size == 0 || static_cast<bool>(input.read(reinterpret_cast<char*>(bytes.data()), size));
}

bool OpenTemporary(const fs::path& path, std::ofstream& output)
{
    const fs::path temporary = TemporaryOf(path);
    output.open(temporary, std::ios::binary | std::ios::trunc);
    if (!output)
    {
        Fail("cannot create %s: %s", temporary.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

bool CloseTemporary(const fs::path& path, std::ofstream& output)
{
    output.close();
    if (!output)
    {
        Fail("cannot write %s: %s", TemporaryOf(path).c_str(), std::strerror(errno));
        DropTemporary(path);
        return false;
    }
    return true;
}

bool WriteTemporary(const fs::path& path, const void* data, size_t length)
{
    std::ofstream output;
    if (!OpenTemporary(path, output))
        return false;
    output.write(static_cast<const char*>(data), static_cast<std::streamsize>(length));
    return CloseTemporary(path, output);
}

void DropTemporary(const fs::path& path)
{
    std::error_code ignored;
    fs::remove(TemporaryOf(path), ignored);
}

bool CommitTemporary(const fs::path& path)
{
    std::error_code error;
    fs::rename(TemporaryOf(path), path, error);
    if (error)
    {
        Fail("cannot move %s into place: %s", path.c_str(), error.message().c_str());
        DropTemporary(path);
        return false;
    }
    return true;
}

bool WriteAtomically(const fs::path& path, const void* data, size_t length)
{
    return WriteTemporary(path, data, length) && CommitTemporary(path);
}
