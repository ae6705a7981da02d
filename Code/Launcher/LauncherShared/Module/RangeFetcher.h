#pragma once

#include "RangePlan.h"
#include "UpdateContext.h"

#include "xString.h"

#include <cstdint>
#include <memory>
#include <vector>

// The longest range fetched into memory: the publisher makes no package of
// 2 GiB or more, so a longer range is no part of one.
constexpr uint64_t MaxRangeBytes = 0x7FFFFFFF;

// Byte ranges of one remote file, fetched one after another over one connection
// that is kept alive between them, after a single HEAD. Each answer is checked
// as DownloadRangeToMemory checks its own. A server that ignores ranges answers
// with the whole file: that answer is kept open and later ranges (asked in
// ascending order) are read on from it, so the file crosses the wire once.
class RangeFetcher
{
public:
    RangeFetcher(UpdateContext& context, const xString& url);
    ~RangeFetcher();
    RangeFetcher(const RangeFetcher&) = delete;
    RangeFetcher& operator=(const RangeFetcher&) = delete;

    // The file's size from the HEAD, asked until one answers and then kept
    // (logged as "file size: %d"); -1 while none has answered.
    int64_t RemoteSize();
    // Bytes start .. start + length - 1 into `buffer`, resized to `length` and
    // zero-filled once the size is known (left as it was while it is not).
    // A range longer than MaxRangeBytes, or one no memory can hold, is not
    // fetched: an error line, an empty buffer and 0. Only
    // bytes inside `progress` (as JoinRanges gives it, file positions) are
    // added to the context's PackageBytesReceived. Returns how many bytes arrived from
    // `start` on.
    uint64_t Fetch(uint64_t start, uint64_t length, std::vector<uint8_t>& buffer,
                   const std::vector<ByteRange>& progress);

private:
    struct State;
    UpdateContext& Context;
    xString Url;
    std::unique_ptr<State> Os;
};
