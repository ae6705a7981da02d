#include "xMachineAddress.h"

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <string>

namespace
{
// sysfs writes the address as "02:fc:00:00:00:01\n". An all-zero address (the
// loopback, tunnels) identifies nothing and counts as none.
std::vector<uint8_t> ReadInterfaceAddress(const std::string& name)
{
    std::vector<uint8_t> bytes;
    FILE* file = fopen(("/sys/class/net/" + name + "/address").c_str(), "r");
    if (file == nullptr)
        return bytes;
    unsigned value = 0;
    while (bytes.size() < 32 && fscanf(file, "%2x", &value) == 1)
    {
        bytes.push_back(static_cast<uint8_t>(value));
        if (fgetc(file) != ':')
            break;
    }
    fclose(file);
    if (std::all_of(bytes.begin(), bytes.end(), [](uint8_t b) { return b == 0; }))
        bytes.clear();
    return bytes;
}
} // namespace

bool ListAdapterAddresses(std::vector<std::vector<uint8_t>>& adapterAddresses)
{
    DIR* folder = opendir("/sys/class/net");
    if (folder == nullptr)
        return false;
    std::vector<std::string> names;
    while (const dirent* entry = readdir(folder))
    {
        const std::string name = entry->d_name;
        if (name != "." && name != ".." && name != "lo")
            names.push_back(name);
    }
    closedir(folder);
    // The directory lists in no promised order; sorted names keep the choice
    // the same from one run to the next.
    std::sort(names.begin(), names.end());
    for (const std::string& name : names)
        adapterAddresses.push_back(ReadInterfaceAddress(name));
    return true;
}
