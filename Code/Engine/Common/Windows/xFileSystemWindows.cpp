#include "xFileSystem.h"
#include "xFileHandle.h"
#include "xFileReader.h"
#include "xPath.h"
#include "xStringOps.h"
#include "xWin32Text.h"

#include <cstring>
#include <vector>
#include <windows.h>

// <windows.h> maps these names to their W functions; the class's own operations
// carry the plain names.
#undef DeleteFile
#undef CreateDirectory
#undef RemoveDirectory

namespace
{
// Plain Win32 paths stop at MAX_PATH (248 characters for a folder to create);
// an absolute path beyond that is handed over with the "\\?\" prefix, which
// lifts the limit. Our paths are already normalised, as that prefix requires.
constexpr size_t PlainPathLimit = 248;

xWString SystemPath(const xWString& native)
{
    if (native.Length() < PlainPathLimit || native.Length() < 3 || native[1] != u':' || native[2] != u'\\')
        return native;
    return xWString(u"\\\\?\\") + native;
}

class ScopedFind
{
public:
    explicit ScopedFind(HANDLE handle) : Handle(handle) {}
    ~ScopedFind()
    {
        if (Handle != INVALID_HANDLE_VALUE)
            FindClose(Handle);
    }
    ScopedFind(const ScopedFind&) = delete;
    ScopedFind& operator=(const ScopedFind&) = delete;
    bool IsValid() const { return Handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return Handle; }

private:
    HANDLE Handle;
};

// 1601-01-01, where file times start, in ticks since 0001-01-01. Both count
// 100 ns, so a file time keeps its whole precision.
constexpr uint64_t FileTimeEpochTicks = 504911232000000000;

xDateTime FromFileTime(const FILETIME& time)
{
    const uint64_t fileTime = (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
    if (fileTime == 0)
        return xDateTime();
    return xDateTime(FileTimeEpochTicks + fileTime);
}

xFileInfo MakeInfo(DWORD attributes, const FILETIME& created, const FILETIME& accessed,
                   const FILETIME& written, DWORD sizeHigh, DWORD sizeLow)
{
    xFileInfo info;
    info.CreationTime = FromFileTime(created);
    info.LastAccessTime = FromFileTime(accessed);
    info.LastWriteTime = FromFileTime(written);
    info.Flags = xFileInfo::FlagExists;
    if (attributes & FILE_ATTRIBUTE_DIRECTORY)
        info.Flags |= xFileInfo::FlagDirectory;
    else
        info.Size = static_cast<int64_t>((static_cast<uint64_t>(sizeHigh) << 32) | sizeLow);
    if (attributes & FILE_ATTRIBUTE_READONLY)
        info.Flags |= xFileInfo::FlagReadOnly;
    return info;
}

bool QueryAttributes(const xWString& native, WIN32_FILE_ATTRIBUTE_DATA& data)
{
    if (native.IsEmpty())
        return false;
    return GetFileAttributesExW(WinText(SystemPath(native)), GetFileExInfoStandard, &data) != FALSE;
}

bool IsDotEntry(const wchar_t* name)
{
    return (name[0] == L'.' && name[1] == 0) || (name[0] == L'.' && name[1] == L'.' && name[2] == 0);
}

bool HasWildcard(const xWString& name)
{
    for (char16_t c : name)
    {
        if (c == u'*' || c == u'?')
            return true;
    }
    return false;
}

xWString BackSlashes(const xWString& path)
{
    xWString result(path);
    char16_t* data = result.Data();
    for (size_t i = 0; i < result.Length(); ++i)
    {
        if (data[i] == u'/')
            data[i] = u'\\';
    }
    return result;
}

// Runs the find loop over one folder; `visit` gets the entry's "/" path and its
// find data and returns whether to go on.
template <typename Visit> bool ListFolder(const xWString& folder, Visit visit)
{
    const xWString base = ToForwardSlashes(folder);
    if (base.IsEmpty())
        return false;
    const xWString pattern = BackSlashes(JoinPath(base, xWString(u"/*.*")));
    if (pattern.IsEmpty())
        return false;
    WIN32_FIND_DATAW found;
    // The basic level skips the short 8.3 names, and the large fetch asks the
    // file system for many entries a call: a folder of thousands of files takes
    // a few calls, not one per file.
    ScopedFind find(FindFirstFileExW(WinText(SystemPath(pattern)), FindExInfoBasic, &found,
                                     FindExSearchNameMatch, nullptr, FIND_FIRST_EX_LARGE_FETCH));
    if (!find.IsValid())
        return false;
    do
    {
        if (IsDotEntry(found.cFileName))
            continue;
        const xWString path = ToForwardSlashes(JoinPath(base, FromWinText(found.cFileName)));
        if (!visit(path, found))
            return false;
    } while (FindNextFileW(find.Get(), &found));
    return true;
}
} // namespace

namespace
{
// A file opened for reading with `flags`; writers may share it only with shareWrite.
HANDLE OpenForReading(const xWString& native, bool shareWrite, DWORD flags)
{
    if (native.IsEmpty())
        return INVALID_HANDLE_VALUE;
    const DWORD share = FILE_SHARE_READ | (shareWrite ? FILE_SHARE_WRITE : 0);
    return CreateFileW(WinText(SystemPath(native)), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | flags, nullptr);
}
} // namespace

std::unique_ptr<xFile> xFileSystem::OpenRead(const xWString& path, bool shareWrite) const
{
    HANDLE handle = OpenForReading(ToNativePath(path), shareWrite, FILE_FLAG_OVERLAPPED);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<xFileReader>(reinterpret_cast<xOsHandle>(handle));
}

std::unique_ptr<xFile> xFileSystem::OpenReadPlain(const xWString& path, bool shareWrite) const
{
    HANDLE handle = OpenForReading(ToNativePath(path), shareWrite, FILE_FLAG_SEQUENTIAL_SCAN);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<xFileHandle>(reinterpret_cast<xOsHandle>(handle));
}

std::unique_ptr<xFileHandle> xFileSystem::OpenProgram(const xWString& path) const
{
    // No FILE_SHARE_WRITE, no FILE_SHARE_DELETE: nobody else can change, rename,
    // delete or replace the file until the handle is closed; the DELETE right is
    // ours alone, for MoveHeldFile. The loader's own open when the program
    // starts asks only to read and run it.
    const xWString native = ToNativePath(path);
    if (native.IsEmpty())
        return nullptr;
    HANDLE handle = CreateFileW(WinText(SystemPath(native)), GENERIC_READ | DELETE, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<xFileHandle>(reinterpret_cast<xOsHandle>(handle));
}

bool xFileSystem::MoveHeldFile(const xFileHandle& held, const xWString& destination,
                               const xWString& source) const
{
    (void)source; // the handle names the file
    const xWString to = SystemPath(ToNativePath(destination));
    if (to.IsEmpty())
        return false;
    // FILE_RENAME_INFO ends in the name, which runs past the declared struct.
    const size_t nameBytes = (to.Length() + 1) * sizeof(WCHAR);
    std::vector<uint8_t> buffer(sizeof(FILE_RENAME_INFO) + nameBytes);
    auto* rename = reinterpret_cast<FILE_RENAME_INFO*>(buffer.data());
    rename->ReplaceIfExists = TRUE;
    rename->RootDirectory = nullptr;
    rename->FileNameLength = static_cast<DWORD>(to.Length() * sizeof(WCHAR));
    std::memcpy(rename->FileName, WinText(to), nameBytes);
    return SetFileInformationByHandle(reinterpret_cast<HANDLE>(held.GetOsHandle()), FileRenameInfo, rename,
                                      static_cast<DWORD>(buffer.size())) != FALSE;
}

std::unique_ptr<xFile> xFileSystem::OpenWrite(const xWString& path, bool append, bool shareRead) const
{
    const xWString native = ToNativePath(path);
    if (native.IsEmpty())
        return nullptr;
    // CreateFileW refuses a read-only file on Windows, but Wine maps the attribute
    // to Unix permission bits, which do not stop root; asking first gives the same
    // answer everywhere.
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (QueryAttributes(native, data) && (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY))
        return nullptr;
    HANDLE handle =
        CreateFileW(WinText(SystemPath(native)), GENERIC_WRITE, shareRead ? FILE_SHARE_READ : 0, nullptr,
                    append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    auto file = std::make_unique<xFileHandle>(reinterpret_cast<xOsHandle>(handle));
    if (append && !file->SeekFromEnd(0))
        return nullptr;
    return file;
}

std::unique_ptr<xFileHandle> xFileSystem::OpenNew(const xWString& path) const
{
    const xWString native = ToNativePath(path);
    if (native.IsEmpty())
        return nullptr;
    HANDLE handle = CreateFileW(WinText(SystemPath(native)), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return std::make_unique<xFileHandle>(reinterpret_cast<xOsHandle>(handle));
}

bool xFileSystem::IsFile(const xWString& path) const
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return QueryAttributes(ToNativePath(path), data) && !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

int64_t xFileSystem::GetFileSize(const xWString& path) const
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!QueryAttributes(ToNativePath(path), data) || (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return -1;
    return static_cast<int64_t>((static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
}

int64_t xFileSystem::GetAllocatedSize(const xWString& path) const
{
    const xWString native = ToNativePath(path);
    if (native.IsEmpty())
        return -1;
    // Attributes only: any other open of the file may go on.
    HANDLE handle = CreateFileW(WinText(SystemPath(native)), FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return -1;
    FILE_STANDARD_INFO info;
    const bool known = GetFileInformationByHandleEx(handle, FileStandardInfo, &info, sizeof(info)) != FALSE &&
                       !info.Directory;
    CloseHandle(handle);
    return known ? static_cast<int64_t>(info.AllocationSize.QuadPart) : -1;
}

bool xFileSystem::DeleteFile(const xWString& path) const
{
    const xWString native = ToNativePath(path);
    return !native.IsEmpty() && DeleteFileW(WinText(SystemPath(native)));
}

bool xFileSystem::DeleteUnheldFile(const xWString& path) const
{
    // The launcher opens nothing with FILE_SHARE_DELETE: an open file refuses the delete.
    return DeleteFile(path);
}

bool xFileSystem::GetVolumeSpace(const xWString& folder, xVolumeSpace& space) const
{
    const xWString native = ToNativeDirectoryPath(folder);
    if (native.IsEmpty() || !IsDirectory(folder))
        return false;
    ULARGE_INTEGER available;
    ULARGE_INTEGER total;
    if (!GetDiskFreeSpaceExW(WinText(SystemPath(native)), &available, &total, nullptr))
        return false;
    // The volume's root ("C:\\", or a mounted folder's) names it; quotas make the
    // caller's free bytes the ones that count.
    wchar_t root[MAX_PATH + 1] = {};
    if (!GetVolumePathNameW(WinText(SystemPath(native)), root, MAX_PATH))
        return false;
    space.Free = available.QuadPart;
    space.Total = total.QuadPart;
    space.Volume = FromWinText(root);
    return true;
}

bool xFileSystem::IsReadOnly(const xWString& path) const
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    return QueryAttributes(ToNativePath(path), data) && (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY);
}

bool xFileSystem::Move(const xWString& destination, const xWString& source) const
{
    const xWString from = ToNativePath(source);
    const xWString to = ToNativePath(destination);
    if (from.IsEmpty() || to.IsEmpty())
        return false;
    return MoveFileW(WinText(SystemPath(from)), WinText(SystemPath(to))) != FALSE;
}

bool xFileSystem::MoveOver(const xWString& destination, const xWString& source) const
{
    const xWString from = ToNativePath(source);
    const xWString to = ToNativePath(destination);
    if (from.IsEmpty() || to.IsEmpty())
        return false;
    return MoveFileExW(WinText(SystemPath(from)), WinText(SystemPath(to)), MOVEFILE_REPLACE_EXISTING) !=
           FALSE;
}

bool xFileSystem::SetReadOnly(const xWString& path, bool readOnly) const
{
    const xWString native = ToNativePath(path);
    if (native.IsEmpty())
        return false;
    return SetFileAttributesW(WinText(SystemPath(native)),
                              readOnly ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL) != FALSE;
}

xDateTime xFileSystem::GetLastWriteTime(const xWString& path) const
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!QueryAttributes(ToNativePath(path), data))
        return xDateTime();
    return FromFileTime(data.ftLastWriteTime);
}

bool xFileSystem::SetLastWriteTime(const xWString& path, xDateTime time) const
{
    const xWString native = ToNativePath(path);
    if (native.IsEmpty())
        return false;
    HANDLE handle = CreateFileW(WinText(SystemPath(native)), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    const xDateTime::Calendar calendar = time.ToCalendar();
    SYSTEMTIME system = {};
    system.wYear = static_cast<WORD>(calendar.Year);
    system.wMonth = static_cast<WORD>(calendar.Month);
    // Windows counts weekdays from Sunday.
    system.wDayOfWeek = static_cast<WORD>((calendar.DayOfWeek + 1) % 7);
    system.wDay = static_cast<WORD>(calendar.Day);
    system.wHour = static_cast<WORD>(calendar.Hour);
    system.wMinute = static_cast<WORD>(calendar.Minute);
    system.wSecond = static_cast<WORD>(calendar.Second);
    FILETIME fileTime;
    bool done = false;
    if (calendar.Year <= 30827 && SystemTimeToFileTime(&system, &fileTime))
        done = SetFileTime(handle, nullptr, nullptr, &fileTime) != FALSE;
    CloseHandle(handle);
    return done;
}

xDateTime xFileSystem::GetLastAccessTime(const xWString& path) const
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!QueryAttributes(ToNativePath(path), data))
        return xDateTime();
    return FromFileTime(data.ftLastAccessTime);
}

xWString xFileSystem::GetRealPath(const xWString& path) const
{
    const xWString normalised = NormalisePath(ToForwardSlashes(path));
    std::vector<xWString> components;
    SplitText(normalised, xWString(u"/"), components);

    xWString real;
    for (size_t i = 0; i < components.size(); ++i)
    {
        const xWString& component = components[i];
        xWString candidate = i == 0 ? component : real + u"/" + component;
        // A drive ("C:"), the root and wildcards are nothing to look up as a name.
        const bool lookUp = !component.IsEmpty() && component.Last() != u':' && !HasWildcard(component) &&
                            component != u"." && component != u"..";
        if (lookUp)
        {
            WIN32_FIND_DATAW found;
            ScopedFind find(FindFirstFileW(WinText(SystemPath(ToNativePath(candidate))), &found));
            if (find.IsValid())
            {
                const xWString stored = FromWinText(found.cFileName);
                candidate = i == 0 ? stored : real + u"/" + stored;
            }
        }
        real = candidate;
    }
    return real;
}

xFileInfo xFileSystem::GetFileInfo(const xWString& path) const
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!QueryAttributes(ToNativePath(path), data))
        return xFileInfo();
    return MakeInfo(data.dwFileAttributes, data.ftCreationTime, data.ftLastAccessTime, data.ftLastWriteTime,
                    data.nFileSizeHigh, data.nFileSizeLow);
}

bool xFileSystem::IsDirectory(const xWString& path) const
{
    if (path.IsEmpty())
        return true;
    WIN32_FILE_ATTRIBUTE_DATA data;
    return QueryAttributes(ToNativeDirectoryPath(path), data) &&
           (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool xFileSystem::CreateDirectory(const xWString& path) const
{
    const xWString native = ToNativeDirectoryPath(path);
    if (native.IsEmpty())
        return false;
    return CreateDirectoryW(WinText(SystemPath(native)), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool xFileSystem::RemoveDirectory(const xWString& path) const
{
    const xWString native = ToNativeDirectoryPath(path);
    if (!native.IsEmpty())
        RemoveDirectoryW(WinText(SystemPath(native)));
    return !IsDirectory(path);
}

bool xFileSystem::Enumerate(const xWString& folder, xFileVisitor& visitor) const
{
    return ListFolder(
        folder, [&](const xWString& path, const WIN32_FIND_DATAW& found)
        { return visitor.Visit(path, (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0); });
}

bool xFileSystem::EnumerateWithInfo(const xWString& folder, xFileInfoVisitor& visitor) const
{
    return ListFolder(folder,
                      [&](const xWString& path, const WIN32_FIND_DATAW& found)
                      {
                          const xFileInfo info =
                              MakeInfo(found.dwFileAttributes, found.ftCreationTime, found.ftLastAccessTime,
                                       found.ftLastWriteTime, found.nFileSizeHigh, found.nFileSizeLow);
                          return visitor.Visit(path, info);
                      });
}

bool xFileSystem::FlushVolume(const xWString& folder) const
{
    (void)folder;
    return false;
}

bool xFileSystem::CanFlushVolumes()
{
    return false;
}

xWString xFileSystem::ToNativePath(const xWString& path) const
{
    return BackSlashes(NormalisePath(ToForwardSlashes(path)));
}

xWString xFileSystem::ToNativeDirectoryPath(const xWString& path) const
{
    return BackSlashes(NormalisePath(AsDirectoryPath(path)));
}

void xFileSystem::CarryExecutePermission(const xWString& destination, const xWString& source) const
{
    // Whether a file may run follows from its name and content here.
    (void)destination;
    (void)source;
}
