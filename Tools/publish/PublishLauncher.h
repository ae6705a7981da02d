#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// publish launcher: places a launcher build under its versioned name and
// writes LauncherVersion.txt naming it.
int RunLauncher(int argc, char** argv);

// Where the version resource (the VS_VERSIONINFO block) of a Windows
// executable lies in its bytes; false when it is no PE file or has none.
bool FindVersionResource(const std::vector<uint8_t>& image, size_t& offset, size_t& size);
