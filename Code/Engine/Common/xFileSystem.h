#pragma once

#include "xDateTime.h"
#include "xFile.h"
#include "xFileHandle.h"
#include "xFileInfo.h"
#include "xFileVisitor.h"
#include "xString.h"

#include <cstdint>
#include <memory>

// The space of the volume that holds a folder.
struct xVolumeSpace
{
    uint64_t Free = 0; // bytes this process may still write there
    uint64_t Total = 0;
    // Tells volumes apart: folders with the same text share their free space.
    xWString Volume;
};

// All file and folder work. Callers speak in paths with "/" (a "\" is taken as
// "/"); every path is normalised and turned into the system's own form only at
// the moment of the system call. Failures are reported by results only: false,
// null, -1, an empty text or the zero time. The object holds no state that the
// operations change, so any thread may use it.
class xFileSystem
{
public:
    // A read-ahead reader, or null. Without shareWrite nobody may write the file
    // while it is open.
    virtual std::unique_ptr<xFile> OpenRead(const xWString& path, bool shareWrite) const;
    // A plain synchronous reader, or null: each read goes straight from the system
    // into the caller's buffer, so a reader of large pieces skips the read-ahead's copy.
    virtual std::unique_ptr<xFile> OpenReadPlain(const xWString& path, bool shareWrite) const;
    // A program to check and then start with StartHeldProcess, or null: a plain
    // reader that nobody may write, delete or rename the file through while it
    // is open (Windows: shared for reading only; POSIX: no writer of ours may
    // open it, and since the start runs the open file itself, a file put under
    // the path meanwhile is not what starts).
    virtual std::unique_ptr<xFileHandle> OpenProgram(const xWString& path) const;
    // Gives the file that `held` holds (OpenProgram, OpenNew) the name
    // `destination`, replacing a file there, without letting go of it, so that
    // the name holds the very bytes checked through the handle. `source` is its
    // present path. Windows renames through the handle; POSIX renames the path
    // and then makes sure the name holds the held file (false, with the name
    // removed, if not).
    virtual bool MoveHeldFile(const xFileHandle& held, const xWString& destination,
                              const xWString& source) const;
    // A plain file for writing, or null. append keeps the content and writes after
    // it; otherwise the file is created or truncated.
    virtual std::unique_ptr<xFile> OpenWrite(const xWString& path, bool append, bool shareRead) const;
    // A file made for writing, that no other open shares, or null when the path
    // names one already or its folder is missing. Nothing is asked before the
    // create: under Wine each question about a name not yet there reads the
    // whole folder. Windows opens it with the right to rename it (MoveHeldFile).
    virtual std::unique_ptr<xFileHandle> OpenNew(const xWString& path) const;
    virtual bool IsFile(const xWString& path) const;
    // -1 when missing or a folder.
    virtual int64_t GetFileSize(const xWString& path) const;
    // The room the file takes on its volume: below its size where it has holes,
    // the whole size at once where space was set aside for it (on NTFS, writing
    // a file's last byte allocates all before it). -1 when missing or a folder.
    virtual int64_t GetAllocatedSize(const xWString& path) const;
    virtual bool DeleteFile(const xWString& path) const;
    // DeleteFile, but a file that an open elsewhere holds stays: on Windows no
    // delete gets past the opener's sharing; elsewhere a file under another
    // open's lock (the lock OpenRead and OpenWrite take) is kept.
    virtual bool DeleteUnheldFile(const xWString& path) const;
    virtual bool IsReadOnly(const xWString& path) const;
    // The free space of the volume that holds the existing folder; false when
    // the system cannot tell (a missing folder, no permission).
    virtual bool GetVolumeSpace(const xWString& folder, xVolumeSpace& space) const;
    // Destination first. Fails when the destination exists.
    virtual bool Move(const xWString& destination, const xWString& source) const;
    // Destination first. Replaces an existing destination in one step: at every
    // moment the destination's name holds either the old file or the new one.
    virtual bool MoveOver(const xWString& destination, const xWString& source) const;
    // Destination first. Creates or truncates the destination.
    virtual bool Copy(const xWString& destination, const xWString& source) const;
    virtual bool SetReadOnly(const xWString& path, bool readOnly) const;
    virtual xDateTime GetLastWriteTime(const xWString& path) const;
    // Whole seconds; the time is UTC.
    virtual bool SetLastWriteTime(const xWString& path, xDateTime time) const;
    virtual xDateTime GetLastAccessTime(const xWString& path) const;
    // The path in "/" form with each existing component spelled as stored on disk;
    // components that cannot be found stay as given.
    virtual xWString GetRealPath(const xWString& path) const;
    // Times keep the system's whole precision (100 ns on Windows and in our
    // ticks); FileId is set where the system gives it with the other values.
    virtual xFileInfo GetFileInfo(const xWString& path) const;
    // True for the empty path, which names the current folder.
    virtual bool IsDirectory(const xWString& path) const;
    // True when created or already there.
    virtual bool CreateDirectory(const xWString& path) const;
    // Creates every missing folder along the path; true when the folder exists.
    virtual bool CreateDirectories(const xWString& path) const;
    // Source first. Creates the destination when missing; existing files in it are replaced.
    virtual bool CopyDirectory(const xWString& source, const xWString& destination, bool overwrite) const;
    // True when the folder no longer exists; fails on a folder that still has entries.
    virtual bool RemoveDirectory(const xWString& path) const;
    // Deletes the whole tree, read-only files too; true when the folder is gone.
    virtual bool DeleteDirectory(const xWString& path) const;
    // One level. False when the listing could not start or a visitor stopped it.
    virtual bool Enumerate(const xWString& folder, xFileVisitor& visitor) const;
    // One listing call per batch of entries, no query per file: the cheap way
    // to learn the sizes and times of a whole folder.
    virtual bool EnumerateWithInfo(const xWString& folder, xFileInfoVisitor& visitor) const;
    // Depth first, each folder before its contents. A visitor's false stops the
    // level it was given for; the result is that of the top level.
    virtual bool EnumerateRecursive(const xWString& folder, xFileVisitor& visitor) const;
    virtual bool EnumerateRecursiveWithInfo(const xWString& folder, xFileInfoVisitor& visitor) const;
    // Waits until every file written on the folder's volume is on the disk
    // (POSIX: one syncfs). False where the system cannot (Windows lets only an
    // administrator flush a volume): there each file is flushed before its
    // close (xFile::Flush).
    virtual bool FlushVolume(const xWString& folder) const;
    static bool CanFlushVolumes();
    virtual xString ToNativePathUtf8(const xWString& path) const;
    virtual xString ToNativeDirectoryPathUtf8(const xWString& path) const;
    // The normalised path in the system's form ("\" on Windows, "/" elsewhere).
    virtual xWString ToNativePath(const xWString& path) const;
    // The same, ending with a separator.
    virtual xWString ToNativeDirectoryPath(const xWString& path) const;
    virtual ~xFileSystem();

private:
    // Lets a fresh copy be run wherever its source could be: POSIX keeps that
    // permission beside the content (the execute bits); Windows has nothing to carry.
    void CarryExecutePermission(const xWString& destination, const xWString& source) const;
};
