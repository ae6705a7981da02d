#include "xFileSystem.h"
#include "xPath.h"
#include "xStringOps.h"

#include <vector>

namespace
{
constexpr int64_t CopyChunk = 1048576;

class RecursiveVisitor : public xFileVisitor
{
public:
    RecursiveVisitor(const xFileSystem& fileSystem, xFileVisitor& outer)
        : FileSystem(fileSystem), Outer(outer)
    {
    }

    bool Visit(const xWString& path, bool isDirectory) override
    {
        if (!Outer.Visit(path, isDirectory))
            return false;
        if (isDirectory)
            FileSystem.Enumerate(path, *this);
        return true;
    }

private:
    const xFileSystem& FileSystem;
    xFileVisitor& Outer;
};

class RecursiveInfoVisitor : public xFileInfoVisitor
{
public:
    RecursiveInfoVisitor(const xFileSystem& fileSystem, xFileInfoVisitor& outer)
        : FileSystem(fileSystem), Outer(outer)
    {
    }

    bool Visit(const xWString& path, const xFileInfo& info) override
    {
        if (!Outer.Visit(path, info))
            return false;
        if (info.IsDirectory())
            FileSystem.EnumerateWithInfo(path, *this);
        return true;
    }

private:
    const xFileSystem& FileSystem;
    xFileInfoVisitor& Outer;
};

class DeleteVisitor : public xFileVisitor
{
public:
    explicit DeleteVisitor(const xFileSystem& fileSystem) : FileSystem(fileSystem) {}

    bool Visit(const xWString& path, bool isDirectory) override
    {
        if (isDirectory)
        {
            // An empty folder, a junction or a folder link goes at once; only a real
            // folder with entries is descended, so no link is followed out of the tree.
            if (!FileSystem.RemoveDirectory(path))
                FileSystem.DeleteDirectory(path);
        }
        else if (!FileSystem.DeleteFile(path))
        {
            // Clearing read-only only after a failed delete never touches the
            // target of a link, which deletes without it.
            FileSystem.SetReadOnly(path, false);
            FileSystem.DeleteFile(path);
        }
        return true;
    }

private:
    const xFileSystem& FileSystem;
};

class CopyVisitor : public xFileVisitor
{
public:
    CopyVisitor(const xFileSystem& fileSystem, const xWString& source, const xWString& destination,
                bool overwrite)
        : FileSystem(fileSystem), Source(source), Destination(destination), Overwrite(overwrite)
    {
    }

    bool Visit(const xWString& path, bool isDirectory) override
    {
        // A failure anywhere stops every level, not just the one it happened in.
        if (Failed)
            return false;
        if (!StartsWith(path, Source))
        {
            Failed = true;
            return false;
        }
        const xWString target = Destination + SubText(path, Source.Length());
        bool copied;
        if (isDirectory)
        {
            copied = FileSystem.CreateDirectories(target);
        }
        else
        {
            if (Overwrite && FileSystem.IsFile(target))
                FileSystem.DeleteFile(target);
            copied = FileSystem.Copy(target, path);
        }
        Failed = !copied;
        return copied;
    }

    bool Failed = false;

private:
    const xFileSystem& FileSystem;
    const xWString& Source;
    const xWString& Destination;
    bool Overwrite;
};

// The empty text, "/" and a drive's root: never a folder to delete as a whole.
bool IsRootOrNothing(const xWString& directory)
{
    if (directory.Length() <= 1)
        return true;
    return directory.Length() == 3 && directory[1] == u':' && directory[2] == u'/';
}
} // namespace

xFileSystem::~xFileSystem() = default;

bool xFileSystem::Copy(const xWString& destination, const xWString& source) const
{
    std::unique_ptr<xFile> input = OpenRead(source, false);
    if (!input)
        return false;
    std::unique_ptr<xFile> output = OpenWrite(destination, false, false);
    if (!output)
        return false;

    const int64_t size = input->GetSize();
    if (size < 0)
        return false;
    CarryExecutePermission(destination, source);
    if (size == 0)
        return true;

    std::vector<char> buffer(static_cast<size_t>(size < CopyChunk ? size : CopyChunk));
    int64_t remaining = size;
    while (remaining > 0)
    {
        const int64_t piece = remaining < CopyChunk ? remaining : CopyChunk;
        if (!input->Read(buffer.data(), piece) || !output->Write(buffer.data(), piece))
            return false;
        remaining -= piece;
    }
    return true;
}

bool xFileSystem::CreateDirectories(const xWString& path) const
{
    // No fixed buffer: a path of any length is walked whole.
    const xWString directory = NormalisePath(AsDirectoryPath(path));
    for (size_t i = 1; i <= directory.Length(); ++i)
    {
        if (i < directory.Length() && directory[i] != u'/')
            continue;
        const xWString prefix = SubText(directory, 0, i);
        if (!CreateDirectory(prefix) && !IsDirectory(prefix))
            break;
    }
    return IsDirectory(path);
}

bool xFileSystem::CopyDirectory(const xWString& source, const xWString& destination, bool overwrite) const
{
    if (source.IsEmpty() || destination.IsEmpty())
        return false;
    const xWString from = NormalisePath(AsDirectoryPath(source));
    const xWString to = NormalisePath(AsDirectoryPath(destination));
    if (from.IsEmpty() || to.IsEmpty() || !IsDirectory(from))
        return false;
    // A destination inside the source would be copied into itself without end.
    // Letter case is ignored because Windows ignores it.
    if (to.Length() >= from.Length() && CompareNoCase(to.c_str(), from.c_str(), from.Length()) == 0)
        return false;
    if (!IsDirectory(to) && !CreateDirectories(to))
        return false;

    CopyVisitor visitor(*this, from, to, overwrite);
    const bool walked = EnumerateRecursive(from, visitor);
    return walked && !visitor.Failed;
}

bool xFileSystem::DeleteDirectory(const xWString& path) const
{
    const xWString directory = NormalisePath(AsDirectoryPath(path));
    if (path.IsEmpty() || IsRootOrNothing(directory))
        return false;
    DeleteVisitor visitor(*this);
    Enumerate(directory, visitor);
    return RemoveDirectory(directory);
}

bool xFileSystem::EnumerateRecursive(const xWString& folder, xFileVisitor& visitor) const
{
    RecursiveVisitor inner(*this, visitor);
    return Enumerate(folder, inner);
}

bool xFileSystem::EnumerateRecursiveWithInfo(const xWString& folder, xFileInfoVisitor& visitor) const
{
    RecursiveInfoVisitor inner(*this, visitor);
    return EnumerateWithInfo(folder, inner);
}

xString xFileSystem::ToNativePathUtf8(const xWString& path) const
{
    return xString(ToNativePath(path));
}

xString xFileSystem::ToNativeDirectoryPathUtf8(const xWString& path) const
{
    return xString(ToNativeDirectoryPath(path));
}
