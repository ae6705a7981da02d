#include "xLogFileTarget.h"

#include "xTextConversion.h"
#include "Windows/xWin32Text.h"

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <string>
#include <windows.h>

FILE* xLogFileTarget::OpenStream(const xString& path)
{
    // Binary, with the line ends written by WriteStream: the C runtime's text
    // mode writes a line in pieces, which another launcher's lines could split.
    // The wide open, so that a base path under a user folder with Chinese (or any
    // non-ANSI) characters still works; others may read the log live. Append
    // access alone makes every write land at the end, so that a second launcher
    // started at once (which truncates too) adds its lines instead of writing
    // over ours.
    const xWString widePath = Utf8ToWide(path);
    const HANDLE file =
        ::CreateFileW(WinText(widePath), FILE_APPEND_DATA | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                      nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    const int descriptor = ::_open_osfhandle(reinterpret_cast<intptr_t>(file), _O_APPEND | _O_BINARY);
    if (descriptor < 0)
    {
        ::CloseHandle(file);
        return nullptr;
    }
    FILE* stream = ::_fdopen(descriptor, "ab");
    if (stream == nullptr)
        ::_close(descriptor);
    return stream;
}

void xLogFileTarget::WriteStream(FILE* stream, const xString& line)
{
    std::string text;
    text.reserve(line.Length() + 8);
    for (const char c : line)
    {
        if (c == '\n')
            text += '\r';
        text += c;
    }
    // Windows appends atomically through an append-only handle; Wine seeks to
    // the end and writes in two steps, so another launcher's line could land
    // in between. A lock on one byte far past the end orders the writers of
    // both (it costs about 50 us a line under Wine).
    const HANDLE file = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(stream)));
    OVERLAPPED region = {};
    region.Offset = 0xFFFFFFFF;
    region.OffsetHigh = 0x7FFFFFFF;
    const bool locked = ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &region) != FALSE;
    ::fwrite(text.data(), 1, text.size(), stream);
    ::fflush(stream);
    if (locked)
        ::UnlockFileEx(file, 0, 1, 0, &region);
}
