#include "SpanSink.h"

#include <cstring>

namespace LauncherDownloadInternal
{
SpanSink::SpanSink(std::vector<uint8_t>& buffer, uint64_t first, const std::vector<ByteRange>& progress,
                   std::atomic<uint64_t>& counter)
    : Buffer(buffer), First(first), Progress(progress), Counter(counter)
{
}

bool SpanSink::Put(uint64_t offset, const uint8_t* data, size_t count)
{
    std::memcpy(Buffer.data() + offset, data, count);
    const uint64_t at = First + offset;
    Counter.fetch_add(BytesCovered(Progress, at, at + count), std::memory_order_relaxed);
    return true;
}
} // namespace LauncherDownloadInternal
