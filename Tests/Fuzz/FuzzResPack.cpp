// Any bytes as an unpacked resource pack: the reader either refuses it and holds
// nothing, or every name it holds can be looked up.
#include "ResPack.h"

#include <cstdlib>
#include <vector>

namespace
{
// Lookups scan all names; checking every one of a huge table would be quadratic.
constexpr size_t NamesLookedUp = 64;
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    ResPack pack;
    if (!pack.LoadFromImage(std::vector<uint8_t>(data, data + size)))
    {
        if (!pack.Names().empty())
            std::abort();
        return 0;
    }
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < pack.Names().size() && i < NamesLookedUp; ++i)
    {
        if (!pack.GetFile(pack.Names()[i], bytes))
            std::abort();
    }
    return 0;
}
