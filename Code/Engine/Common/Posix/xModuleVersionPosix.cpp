#include "xModuleVersion.h"

bool ReadModuleVersionResource(std::vector<uint8_t>& block)
{
    // ELF executables carry no version resource.
    block.clear();
    return false;
}
