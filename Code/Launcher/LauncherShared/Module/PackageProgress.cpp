#include "PackageProgress.h"

std::atomic<uint64_t> PackageBytesReceived{0};
