#include "xProcessList.h"

#include "xWin32Text.h"

#include <windows.h>
#include <tlhelp32.h>

namespace
{
class ScopedSnapshot
{
public:
    explicit ScopedSnapshot(HANDLE handle) : Handle(handle) {}
    ~ScopedSnapshot()
    {
        if (Handle != INVALID_HANDLE_VALUE)
            CloseHandle(Handle);
    }
    ScopedSnapshot(const ScopedSnapshot&) = delete;
    ScopedSnapshot& operator=(const ScopedSnapshot&) = delete;
    bool IsValid() const { return Handle != INVALID_HANDLE_VALUE; }
    HANDLE Get() const { return Handle; }

private:
    HANDLE Handle;
};
} // namespace

std::vector<xWString> ListProcessExecutableNames()
{
    std::vector<xWString> names;
    ScopedSnapshot snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot.IsValid())
        return names;
    PROCESSENTRY32W entry = {};
    entry.dwSize = sizeof(entry);
    for (BOOL more = Process32FirstW(snapshot.Get(), &entry); more;
         more = Process32NextW(snapshot.Get(), &entry))
        names.push_back(FromWinText(entry.szExeFile));
    return names;
}
