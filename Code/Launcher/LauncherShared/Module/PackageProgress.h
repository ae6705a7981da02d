#pragma once

#include <atomic>
#include <cstdint>

// Progress of the package download, written by the package worker (and by the
// downloader's range transfers on its behalf) and read by the user-interface
// thread on every tick: atomics with relaxed order, no lock.

// Bytes of the package received so far in this run.
extern std::atomic<uint64_t> PackageBytesReceived;
