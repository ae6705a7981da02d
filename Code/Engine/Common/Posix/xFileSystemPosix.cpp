#include "xFileSystem.h"
#include "xFileHandle.h"
#include "xFileReader.h"
#include "xPath.h"
#include "xTextConversion.h"

#include <cerrno>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <string>
#include <unistd.h>

// The POSIX side keeps "/" in native paths and mirrors what the Windows calls
// do where callers can see it: read-only means no write permission bit at all,
// and it stops writing and deleting even for root, as the attribute does on
// Windows; Move never replaces an existing destination, as MoveFileW does not;
// the sharing flags become advisory locks between our own opens.

namespace
{
// 1970-01-01 in ticks since 0001-01-01.
constexpr int64_t UnixEpochTicks = 621355968000000000;
constexpr unsigned int AnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

bool Query(int folderFd, const char* path, bool followLinks, struct statx& status)
{
    if (path[0] == 0)
        return false;
    const int flags = followLinks ? 0 : AT_SYMLINK_NOFOLLOW;
    return statx(folderFd, path, flags, STATX_BASIC_STATS | STATX_BTIME, &status) == 0;
}

bool Query(const xString& native, struct statx& status)
{
    return Query(AT_FDCWD, native.c_str(), true, status);
}

bool IsReadOnlyMode(unsigned int mode)
{
    return (mode & AnyWriteBit) == 0;
}

// 100 ns are the finest part kept, as a Windows file time keeps them.
xDateTime FromTimestamp(const struct statx_timestamp& time)
{
    const int64_t ticks = UnixEpochTicks + static_cast<int64_t>(time.tv_sec) * 10000000 +
                          static_cast<int64_t>(time.tv_nsec / 100);
    return ticks > 0 ? xDateTime(static_cast<uint64_t>(ticks)) : xDateTime();
}

xFileInfo MakeInfo(const struct statx& status)
{
    xFileInfo info;
    if (status.stx_mask & STATX_BTIME)
        info.CreationTime = FromTimestamp(status.stx_btime);
    info.LastAccessTime = FromTimestamp(status.stx_atime);
    info.LastWriteTime = FromTimestamp(status.stx_mtime);
    info.Flags = xFileInfo::FlagExists;
    if (S_ISDIR(status.stx_mode))
        info.Flags |= xFileInfo::FlagDirectory;
    else
        info.Size = static_cast<int64_t>(status.stx_size);
    info.FileId = status.stx_ino;
    if (IsReadOnlyMode(status.stx_mode))
        info.Flags |= xFileInfo::FlagReadOnly;
    return info;
}

// Stands in for a Windows share mode; false only when another open holds the file.
bool TryLock(int fd, int operation)
{
    for (;;)
    {
        if (flock(fd, operation | LOCK_NB) == 0)
            return true;
        if (errno == EINTR)
            continue;
        // A file system without locks cannot emulate sharing; the open goes ahead.
        return errno != EWOULDBLOCK;
    }
}

// Opens a regular file only: a folder or device is no file to read or write, and
// O_NONBLOCK keeps a named pipe from hanging the open.
int OpenRegular(const xString& native, int flags)
{
    if (native.IsEmpty())
        return -1;
    const int fd = open(native.c_str(), flags | O_CLOEXEC | O_NONBLOCK, 0666);
    if (fd < 0)
        return -1;
    struct stat status;
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode))
    {
        close(fd);
        return -1;
    }
    return fd;
}

// A listing entry can be handed out only if its name survives the trip through
// wide text and the "/" convention: a "\" in a name would become a separator,
// and a name that is not UTF-8 would come back as a different name.
bool IsAddressable(const char* name, const xWString& wide)
{
    for (const char* c = name; *c; ++c)
    {
        if (*c == '\\')
            return false;
    }
    return xString(wide) == name;
}

struct FolderCloser
{
    void operator()(DIR* folder) const { closedir(folder); }
};

// Runs the listing of one folder; `visit` gets the entry's "/" path, the folder's
// descriptor, the entry and returns whether to go on.
template <typename Visit> bool ListFolder(const xFileSystem& fileSystem, const xWString& folder, Visit visit)
{
    const xWString base = ToForwardSlashes(folder);
    if (base.IsEmpty())
        return false;
    const xString native = fileSystem.ToNativeDirectoryPathUtf8(base);
    if (native.IsEmpty())
        return false;
    std::unique_ptr<DIR, FolderCloser> listing(opendir(native.c_str()));
    if (!listing)
        return false;
    const int folderFd = dirfd(listing.get());
    // The folder's part of every path, made once: a name with no separator
    // joins it as it is.
    const xWString prefix = GetParentPath(ToForwardSlashes(JoinPath(base, xWString(u"x"))));
    while (const dirent* entry = readdir(listing.get()))
    {
        const char* name = entry->d_name;
        if ((name[0] == '.' && name[1] == 0) || (name[0] == '.' && name[1] == '.' && name[2] == 0))
            continue;
        const xWString wide = Utf8ToWide(name);
        if (!IsAddressable(name, wide))
            continue;
        xWString path = prefix;
        path.Append(wide);
        if (!visit(path, folderFd, entry))
            return false;
    }
    return true;
}
} // namespace

namespace
{
// A file opened for reading; without shareWrite, a shared lock keeps writers out.
int OpenForReading(const xString& nativePath, bool shareWrite)
{
    const int fd = OpenRegular(nativePath, O_RDONLY);
    if (fd < 0 || shareWrite || TryLock(fd, LOCK_SH))
        return fd;
    close(fd);
    return -1;
}
} // namespace

std::unique_ptr<xFile> xFileSystem::OpenRead(const xWString& path, bool shareWrite) const
{
    const int fd = OpenForReading(ToNativePathUtf8(path), shareWrite);
    if (fd < 0)
        return nullptr;
    return std::make_unique<xFileReader>(static_cast<xOsHandle>(fd));
}

std::unique_ptr<xFile> xFileSystem::OpenReadPlain(const xWString& path, bool shareWrite) const
{
    const int fd = OpenForReading(ToNativePathUtf8(path), shareWrite);
    if (fd < 0)
        return nullptr;
    return std::make_unique<xFileHandle>(static_cast<xOsHandle>(fd));
}

std::unique_ptr<xFileHandle> xFileSystem::OpenProgram(const xWString& path) const
{
    const int fd = OpenForReading(ToNativePathUtf8(path), false);
    if (fd < 0)
        return nullptr;
    return std::make_unique<xFileHandle>(static_cast<xOsHandle>(fd));
}

bool xFileSystem::MoveHeldFile(const xFileHandle& held, const xWString& destination,
                               const xWString& source) const
{
    if (!MoveOver(destination, source))
        return false;
    // rename() takes a path, not the descriptor: another file put at `source`
    // meanwhile would have moved instead, and must not stand under the name.
    const xString to = ToNativePathUtf8(destination);
    struct stat kept;
    struct stat named;
    if (fstat(static_cast<int>(held.GetOsHandle()), &kept) == 0 && stat(to.c_str(), &named) == 0 &&
        kept.st_dev == named.st_dev && kept.st_ino == named.st_ino)
        return true;
    unlink(to.c_str());
    return false;
}

std::unique_ptr<xFile> xFileSystem::OpenWrite(const xWString& path, bool append, bool shareRead) const
{
    (void)shareRead; // a reader that did not share writing is what the lock keeps out
    const int fd = OpenRegular(ToNativePathUtf8(path), O_WRONLY | O_CREAT);
    if (fd < 0)
        return nullptr;
    auto file = std::make_unique<xFileHandle>(static_cast<xOsHandle>(fd));
    struct stat status;
    if (fstat(fd, &status) != 0 || IsReadOnlyMode(status.st_mode))
        return nullptr;
    // Truncating only after the lock is held keeps a file that is open for
    // reading intact, as a sharing violation does on Windows.
    if (!TryLock(fd, LOCK_EX))
        return nullptr;
    if (append ? !file->SeekFromEnd(0) : ftruncate(fd, 0) != 0)
        return nullptr;
    return file;
}

std::unique_ptr<xFileHandle> xFileSystem::OpenNew(const xWString& path) const
{
    const int fd = OpenRegular(ToNativePathUtf8(path), O_WRONLY | O_CREAT | O_EXCL);
    if (fd < 0)
        return nullptr;
    auto file = std::make_unique<xFileHandle>(static_cast<xOsHandle>(fd));
    // The lock OpenWrite takes, for DeleteUnheldFile to respect.
    return TryLock(fd, LOCK_EX) ? std::move(file) : nullptr;
}

bool xFileSystem::GetVolumeSpace(const xWString& folder, xVolumeSpace& space) const
{
    const xString native = ToNativePathUtf8(folder);
    struct statvfs volume;
    struct statx status;
    if (!Query(native, status) || !S_ISDIR(status.stx_mode) || statvfs(native.c_str(), &volume) != 0)
        return false;
    // f_bavail, not f_bfree: the blocks kept for root are no room for a launcher.
    space.Free = static_cast<uint64_t>(volume.f_bavail) * volume.f_frsize;
    space.Total = static_cast<uint64_t>(volume.f_blocks) * volume.f_frsize;
    const std::string device =
        "dev " + std::to_string(status.stx_dev_major) + ":" + std::to_string(status.stx_dev_minor);
    space.Volume = Utf8ToWide(device.c_str());
    return true;
}

bool xFileSystem::IsFile(const xWString& path) const
{
    struct statx status;
    return Query(ToNativePathUtf8(path), status) && !S_ISDIR(status.stx_mode);
}

int64_t xFileSystem::GetFileSize(const xWString& path) const
{
    struct statx status;
    if (!Query(ToNativePathUtf8(path), status) || S_ISDIR(status.stx_mode))
        return -1;
    return static_cast<int64_t>(status.stx_size);
}

int64_t xFileSystem::GetAllocatedSize(const xWString& path) const
{
    struct statx status;
    if (!Query(ToNativePathUtf8(path), status) || S_ISDIR(status.stx_mode))
        return -1;
    // Blocks of 512 bytes, whatever the file system's own block size.
    return static_cast<int64_t>(status.stx_blocks) * 512;
}

bool xFileSystem::DeleteFile(const xWString& path) const
{
    const xString native = ToNativePathUtf8(path);
    struct statx status;
    if (!Query(AT_FDCWD, native.c_str(), false, status) || S_ISDIR(status.stx_mode))
        return false;
    if (!S_ISLNK(status.stx_mode) && IsReadOnlyMode(status.stx_mode))
        return false;
    return unlink(native.c_str()) == 0;
}

bool xFileSystem::DeleteUnheldFile(const xWString& path) const
{
    // Unlinking ignores locks, so the lock is asked for first and held until the
    // name is gone. A link is deleted as itself, and a file this process cannot
    // open is nobody's lock to honour.
    const int fd = open(ToNativePathUtf8(path).c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0 && !TryLock(fd, LOCK_EX))
    {
        close(fd);
        return false;
    }
    const bool deleted = DeleteFile(path);
    if (fd >= 0)
        close(fd);
    return deleted;
}

bool xFileSystem::IsReadOnly(const xWString& path) const
{
    struct statx status;
    return Query(ToNativePathUtf8(path), status) && IsReadOnlyMode(status.stx_mode);
}

bool xFileSystem::Move(const xWString& destination, const xWString& source) const
{
    const xString from = ToNativePathUtf8(source);
    const xString to = ToNativePathUtf8(destination);
    if (from.IsEmpty() || to.IsEmpty())
        return false;
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    struct statx status;
    if (errno == EINVAL || errno == ENOSYS)
    {
        // A file system without the no-replace flag: check, then rename.
        if (Query(AT_FDCWD, to.c_str(), false, status))
            return false;
        return rename(from.c_str(), to.c_str()) == 0;
    }
    if (errno == EXDEV)
    {
        // Another volume: a file is copied and the original removed, as MoveFileW
        // does; a folder cannot move there.
        if (Query(AT_FDCWD, to.c_str(), false, status) || !Query(from, status) || !S_ISREG(status.stx_mode))
            return false;
        if (!Copy(destination, source))
        {
            unlink(to.c_str());
            return false;
        }
        return unlink(from.c_str()) == 0;
    }
    return false;
}

bool xFileSystem::MoveOver(const xWString& destination, const xWString& source) const
{
    const xString from = ToNativePathUtf8(source);
    const xString to = ToNativePathUtf8(destination);
    if (from.IsEmpty() || to.IsEmpty())
        return false;
    // rename() replaces atomically; a read-only destination stays, as on Windows.
    struct statx status;
    if (Query(AT_FDCWD, to.c_str(), false, status) && (status.stx_mode & AnyWriteBit) == 0)
        return false;
    return rename(from.c_str(), to.c_str()) == 0;
}

bool xFileSystem::SetReadOnly(const xWString& path, bool readOnly) const
{
    const xString native = ToNativePathUtf8(path);
    struct statx status;
    // The mode of a link is its target's; changing it would reach out of the tree.
    if (!Query(AT_FDCWD, native.c_str(), false, status) || S_ISLNK(status.stx_mode))
        return false;
    const mode_t mode = readOnly ? (status.stx_mode & ~AnyWriteBit) : (status.stx_mode | S_IWUSR);
    return chmod(native.c_str(), mode & 07777) == 0;
}

xDateTime xFileSystem::GetLastWriteTime(const xWString& path) const
{
    struct statx status;
    if (!Query(ToNativePathUtf8(path), status))
        return xDateTime();
    return FromTimestamp(status.stx_mtime);
}

bool xFileSystem::SetLastWriteTime(const xWString& path, xDateTime time) const
{
    const xString native = ToNativePathUtf8(path);
    struct statx status;
    // Like the Windows call, only for a file, and only for times a file time can
    // hold: 1601 to the year 30827, whole seconds.
    if (!Query(native, status) || S_ISDIR(status.stx_mode))
        return false;
    const uint64_t earliest = xDateTime::FromCalendar(1601, 1, 1).GetTicks();
    if (time.GetTicks() < earliest || time.ToCalendar().Year > 30827)
        return false;
    struct timespec times[2];
    times[0].tv_sec = 0;
    times[0].tv_nsec = UTIME_OMIT;
    times[1].tv_sec = static_cast<time_t>(static_cast<int64_t>(time.GetTicks() / xDateTime::TicksPerSecond) -
                                          UnixEpochTicks / 10000000);
    times[1].tv_nsec = 0;
    return utimensat(AT_FDCWD, native.c_str(), times, 0) == 0;
}

xDateTime xFileSystem::GetLastAccessTime(const xWString& path) const
{
    struct statx status;
    if (!Query(ToNativePathUtf8(path), status))
        return xDateTime();
    return FromTimestamp(status.stx_atime);
}

xWString xFileSystem::GetRealPath(const xWString& path) const
{
    // Names are case-sensitive here: a component that exists is already spelled
    // as stored, and one that does not is left as given.
    return NormalisePath(ToForwardSlashes(path));
}

xFileInfo xFileSystem::GetFileInfo(const xWString& path) const
{
    struct statx status;
    if (!Query(ToNativePathUtf8(path), status))
        return xFileInfo();
    return MakeInfo(status);
}

bool xFileSystem::IsDirectory(const xWString& path) const
{
    if (path.IsEmpty())
        return true;
    struct statx status;
    return Query(ToNativeDirectoryPathUtf8(path), status) && S_ISDIR(status.stx_mode);
}

bool xFileSystem::CreateDirectory(const xWString& path) const
{
    const xString native = ToNativeDirectoryPathUtf8(path);
    if (native.IsEmpty())
        return false;
    return mkdir(native.c_str(), 0777) == 0 || errno == EEXIST;
}

bool xFileSystem::RemoveDirectory(const xWString& path) const
{
    const xString native = ToNativeDirectoryPathUtf8(path);
    if (!native.IsEmpty())
        rmdir(native.c_str());
    return !IsDirectory(path);
}

// Entries are described as they are, links not followed, as a Windows listing
// describes a reparse point: a link to a folder is not a folder to descend into.
bool xFileSystem::Enumerate(const xWString& folder, xFileVisitor& visitor) const
{
    return ListFolder(*this, folder,
                      [&](const xWString& path, int folderFd, const dirent* entry)
                      {
                          bool isDirectory = entry->d_type == DT_DIR;
                          struct statx status;
                          if (entry->d_type == DT_UNKNOWN && Query(folderFd, entry->d_name, false, status))
                              isDirectory = S_ISDIR(status.stx_mode);
                          return visitor.Visit(path, isDirectory);
                      });
}

bool xFileSystem::EnumerateWithInfo(const xWString& folder, xFileInfoVisitor& visitor) const
{
    return ListFolder(*this, folder,
                      [&](const xWString& path, int folderFd, const dirent* entry)
                      {
                          struct statx status;
                          const xFileInfo info =
                              Query(folderFd, entry->d_name, false, status) ? MakeInfo(status) : xFileInfo();
                          return visitor.Visit(path, info);
                      });
}

bool xFileSystem::FlushVolume(const xWString& folder) const
{
    const xString native = ToNativeDirectoryPathUtf8(folder);
    if (native.IsEmpty())
        return false;
    const int fd = open(native.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool flushed = syncfs(fd) == 0;
    close(fd);
    return flushed;
}

bool xFileSystem::CanFlushVolumes()
{
    return true;
}

xWString xFileSystem::ToNativePath(const xWString& path) const
{
    return NormalisePath(ToForwardSlashes(path));
}

xWString xFileSystem::ToNativeDirectoryPath(const xWString& path) const
{
    return NormalisePath(AsDirectoryPath(path));
}

void xFileSystem::CarryExecutePermission(const xWString& destination, const xWString& source) const
{
    // A new file gets 0666 less the umask, so a copied program could not be
    // started. Each class that may read the copy may run it when it could run
    // the source, which keeps the umask's choice of who reads.
    struct statx from;
    struct statx to;
    const xString target = ToNativePathUtf8(destination);
    if (!Query(ToNativePathUtf8(source), from) || !Query(target, to))
        return;
    mode_t mode = to.stx_mode & 07777;
    if ((from.stx_mode & S_IXUSR) && (mode & S_IRUSR))
        mode |= S_IXUSR;
    if ((from.stx_mode & S_IXGRP) && (mode & S_IRGRP))
        mode |= S_IXGRP;
    if ((from.stx_mode & S_IXOTH) && (mode & S_IROTH))
        mode |= S_IXOTH;
    if (mode != (to.stx_mode & 07777))
        chmod(target.c_str(), mode);
}
