#include "xEngineFileSystem.h"
#include "xPath.h"
#include "xStringOps.h"

#include "xFile.h"

#include <chrono>
#include <thread>

namespace
{
constexpr std::chrono::milliseconds RetryPause(500);
constexpr int MoveRetries = 10;

class MatchVisitor : public xFileVisitor
{
public:
    MatchVisitor(const xWString& mask, std::vector<xWString>& found, bool wantFiles, bool wantFolders)
        : MatchAll(mask == u"*" || mask == u"*.*"), Mask(mask), Found(found), WantFiles(wantFiles),
          WantFolders(wantFolders)
    {
    }

    bool Visit(const xWString& path, bool isDirectory) override
    {
        if (isDirectory ? !WantFolders : !WantFiles)
            return true;
        const xWString name = SubText(path, GetParentPath(path).Length());
        if (MatchAll || WildcardMatch(name, Mask, false))
            Found.push_back(path);
        return true;
    }

private:
    bool MatchAll;
    const xWString& Mask;
    std::vector<xWString>& Found;
    bool WantFiles;
    bool WantFolders;
};

void CreateParentFolders(const xEngineFileSystem& fileSystem, const xWString& path)
{
    const xWString parent = GetParentPath(ToForwardSlashes(path));
    if (!parent.IsEmpty())
        fileSystem.CreateDirectories(parent);
}
} // namespace

bool xEngineFileSystem::SetLastWriteTime(const xWString& path, xDateTime time) const
{
    if (!IsFile(path))
        return false;
    xFileSystem::SetLastWriteTime(path, time);
    return true;
}

xWString xEngineFileSystem::MakeRelative(const xWString& path) const
{
    const xWString forward = ToForwardSlashes(path);
    const xWString* roots[] = {&ContentFolder, &UserFolder, &PublishFolder, &CacheFolder};
    for (const xWString* root : roots)
    {
        if (root->IsEmpty())
            continue;
        const xWString rootForward = ToForwardSlashes(*root);
        if (CompareNoCase(forward.c_str(), rootForward.c_str(), rootForward.Length()) == 0)
            return SubText(forward, rootForward.Length());
    }
    return {};
}

xString xEngineFileSystem::MakeRelativeUtf8(const xWString& path) const
{
    return xString(MakeRelative(path));
}

bool xEngineFileSystem::DeleteFileEx(const xWString& path, bool mustExist, bool clearReadOnly) const
{
    if (!IsFile(path))
        return !mustExist;
    if (clearReadOnly)
        SetReadOnly(path, false);
    return DeleteFile(path);
}

bool xEngineFileSystem::MoveReplacing(const xWString& destination, const xWString& source) const
{
    // A new name in a folder that is there takes one step; only when that
    // fails is an older file looked for and the folder asked about.
    if (Move(destination, source))
        return true;
    if (IsFile(destination) && !DeleteFile(destination))
    {
        std::this_thread::sleep_for(RetryPause);
        if (!DeleteFile(destination))
            return false;
    }
    if (!IsDirectory(GetParentPath(ToForwardSlashes(destination))))
        CreateParentFolders(*this, destination);
    if (Move(destination, source))
        return true;
    for (int attempt = 0; attempt < MoveRetries; ++attempt)
    {
        std::this_thread::sleep_for(RetryPause);
        if (Move(destination, source))
            return true;
    }
    return false;
}

bool xEngineFileSystem::WriteThroughTemporary(const xWString& destination, const xWString& temporary,
                                              const void* data, int64_t size, bool atomic) const
{
    std::unique_ptr<xFile> file = OpenWrite(temporary, false, false);
    const bool written = file && file->Write(data, size) && file->Close();
    file.reset();
    if (written && (atomic ? MoveOver(destination, temporary) : MoveReplacing(destination, temporary)))
        return true;
    DeleteFile(temporary);
    return false;
}

bool xEngineFileSystem::ReadWholeFile(const xWString& path, int64_t maxSize,
                                      std::vector<uint8_t>& bytes) const
{
    const int64_t size = GetFileSize(path);
    std::unique_ptr<xFile> file = size < 0 || size > maxSize ? nullptr : OpenRead(path, true);
    if (!file)
        return false;
    bytes.resize(static_cast<size_t>(size));
    return size == 0 || file->Read(bytes.data(), size);
}

bool xEngineFileSystem::CopyChecked(const xWString& destination, const xWString& source) const
{
    if (ToForwardSlashes(destination) == ToForwardSlashes(source))
        return false;
    CreateParentFolders(*this, destination);
    return Copy(destination, source);
}

bool xEngineFileSystem::CreateDirectory(const xWString& path, bool recursive) const
{
    return recursive ? CreateDirectories(path) : CreateDirectory(path);
}

void xEngineFileSystem::FindFiles(const xWString& pattern, std::vector<xWString>& found, bool wantFiles,
                                  bool wantFolders) const
{
    const xWString forward = ToForwardSlashes(pattern);
    const xWString folder = GetParentPath(forward);
    const xWString mask = SubText(forward, folder.Length());
    MatchVisitor visitor(mask, found, wantFiles, wantFolders);
    Enumerate(folder, visitor);
}

void xEngineFileSystem::FindFilesRecursive(std::vector<xWString>& found, const xWString& folder,
                                           const xWString& mask, bool wantFiles, bool wantFolders) const
{
    FindFiles(JoinPath(folder, mask), found, wantFiles, wantFolders);
    std::vector<xWString> folders;
    FindFiles(JoinPath(folder, xWString(u"*")), folders, false, true);
    for (const xWString& child : folders)
        FindFilesRecursive(found, child, mask, wantFiles, wantFolders);
}
