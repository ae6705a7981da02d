#pragma once

#include <cstddef>
#include <cstdint>

namespace LauncherDownloadInternal
{
// Where the body's bytes go: the same read loop fills a file or a buffer.
class DownloadSink
{
public:
    virtual ~DownloadSink() = default;
    // `count` bytes that belong at `offset` of the range; false stops the transfer.
    virtual bool Put(uint64_t offset, const uint8_t* data, size_t count) = 0;
};
} // namespace LauncherDownloadInternal
