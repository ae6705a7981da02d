#pragma once

#include "DownloadSink.h"
#include "RangePlan.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace LauncherDownloadInternal
{
// A span's bytes into memory; only those inside the wanted ranges are progress,
// the gaps between them are not.
class SpanSink : public DownloadSink
{
public:
    SpanSink(std::vector<uint8_t>& buffer, uint64_t first, const std::vector<ByteRange>& progress,
             std::atomic<uint64_t>& counter);
    bool Put(uint64_t offset, const uint8_t* data, size_t count) override;

private:
    std::vector<uint8_t>& Buffer;
    uint64_t First;
    const std::vector<ByteRange>& Progress;
    std::atomic<uint64_t>& Counter;
};
} // namespace LauncherDownloadInternal
