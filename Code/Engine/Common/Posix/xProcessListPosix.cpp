#include "xProcessList.h"

#include "xTextConversion.h"

#include <dirent.h>
#include <memory>
#include <string>
#include <unistd.h>

namespace
{
struct FolderCloser
{
    void operator()(DIR* folder) const { closedir(folder); }
};

bool IsProcessId(const char* name)
{
    if (name[0] == 0)
        return false;
    for (const char* c = name; *c; ++c)
    {
        if (*c < '0' || *c > '9')
            return false;
    }
    return true;
}

// The exe link rather than "comm": comm is cut at 15 characters and can be
// renamed by the process itself.
std::string ExecutableName(const char* processId)
{
    const std::string link = std::string("/proc/") + processId + "/exe";
    char buffer[4096];
    const ssize_t length = readlink(link.c_str(), buffer, sizeof buffer);
    // Kernel threads and zombies have no link; other users' processes may be closed to us.
    if (length <= 0 || static_cast<size_t>(length) >= sizeof buffer)
        return {};
    std::string target(buffer, static_cast<size_t>(length));
    // A program removed or replaced while it runs keeps its name with this mark.
    const std::string removed = " (deleted)";
    if (target.size() > removed.size() &&
        target.compare(target.size() - removed.size(), removed.size(), removed) == 0)
        target.resize(target.size() - removed.size());
    const size_t slash = target.rfind('/');
    return slash == std::string::npos ? target : target.substr(slash + 1);
}
} // namespace

std::vector<xWString> ListProcessExecutableNames()
{
    std::vector<xWString> names;
    std::unique_ptr<DIR, FolderCloser> processes(opendir("/proc"));
    if (!processes)
        return names;
    while (const dirent* entry = readdir(processes.get()))
    {
        if (!IsProcessId(entry->d_name))
            continue;
        const std::string name = ExecutableName(entry->d_name);
        if (!name.empty())
            names.push_back(Utf8ToWide(name.c_str(), name.size()));
    }
    return names;
}
