#pragma once

#include "xFileSystem.h"

#include <vector>

// The file system object of the engine: the plain operations plus the few that
// the update code builds on them, and the folders that paths are made relative to.
class xEngineFileSystem : public xFileSystem
{
public:
    // Filled in by the platform start-up; nothing here sets them. MakeRelative
    // tries ContentFolder, UserFolder, PublishFolder, CacheFolder in that order
    // (the third, fourth, sixth and fifth): the narrower roots before the broad ones.
    xWString ModuleFolder;  // where the executable lives
    xWString WorkingFolder; // the process's working folder
    xWString ContentFolder;
    xWString UserFolder;
    xWString CacheFolder;
    xWString PublishFolder;

    using xFileSystem::CreateDirectory;

    // Only for an existing file; true once it is (whether the time could be set or not).
    bool SetLastWriteTime(const xWString& path, xDateTime time) const override;

    // The rest of the path after the first root folder that starts it, ignoring
    // ASCII case; empty when none does. Unset (empty) roots are skipped.
    virtual xWString MakeRelative(const xWString& path) const;
    virtual xString MakeRelativeUtf8(const xWString& path) const;

    // A path that is no existing file is success unless mustExist; clearReadOnly
    // lets a read-only file go too.
    bool DeleteFileEx(const xWString& path, bool mustExist, bool clearReadOnly) const;
    // Puts source in destination's place, creating the folders on the way and
    // replacing a file there. Retries for a few seconds while another program
    // (a virus scanner, an indexer) holds either file.
    bool MoveReplacing(const xWString& destination, const xWString& source) const;
    // Writes the bytes to `temporary`, then puts it in destination's place:
    // through MoveOver when `atomic` (the name always holds the old file or the
    // new one), else through MoveReplacing. So a process killed while writing
    // never leaves half a file under the real name. False, with the temporary
    // gone, when a step fails.
    bool WriteThroughTemporary(const xWString& destination, const xWString& temporary, const void* data,
                               int64_t size, bool atomic) const;
    // Every byte of the file, when it holds at most maxSize; false when it is
    // missing, larger, or cannot be read whole.
    bool ReadWholeFile(const xWString& path, int64_t maxSize, std::vector<uint8_t>& bytes) const;
    // Copy after making the destination's folders; never copies a path onto itself.
    bool CopyChecked(const xWString& destination, const xWString& source) const;
    bool CreateDirectory(const xWString& path, bool recursive) const;

    // Appends the full paths of the wanted entries of the pattern's folder whose
    // names match its last component ("*" and "?" wildcards, ASCII case ignored).
    void FindFiles(const xWString& pattern, std::vector<xWString>& found, bool wantFiles,
                   bool wantFolders) const;
    // The same for the folder and every folder below it, each folder's matches first.
    void FindFilesRecursive(std::vector<xWString>& found, const xWString& folder, const xWString& mask,
                            bool wantFiles, bool wantFolders) const;
};
