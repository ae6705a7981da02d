#pragma once

#include <cstdint>
#include <vector>

// The version resource of the running executable, as the system hands it out:
// the whole VS_VERSIONINFO block. False when the executable carries none (the
// native build's programs never do).
bool ReadModuleVersionResource(std::vector<uint8_t>& block);
