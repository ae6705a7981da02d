#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Which ranged requests fetch a set of byte ranges of one remote file. Ranges
// whose gap is small travel in one request, gap and all: a gap costs its bytes,
// a request costs a round trip and its headers.

struct ByteRange
{
    uint64_t Start = 0;
    uint64_t Length = 0;
    uint64_t End() const { return Start + Length; }
};

// One request: bytes Start .. Start + Length - 1, covering the wanted ranges
// Members (indexes into the planner's input, by start).
struct PlannedSpan
{
    uint64_t Start = 0;
    uint64_t Length = 0;
    std::vector<size_t> Members;
};

struct RangePlanLimits
{
    // A gap is worth its bytes while they take less time than a round trip: on
    // the links players have (a few to some tens of Mbit/s, 30 to 100 ms away)
    // a round trip's worth of bytes is roughly 16 to 250 KiB; 64 KiB is in the
    // middle and small beside the request's own cost at the upper end.
    uint64_t MaxGap = 64 * 1024;
    // All gaps together stay within this share of the wanted bytes, so the
    // transfer never grows by more than that share.
    uint32_t WastePerThousand = 50;
    // A merged request is held in memory whole; past this length no further
    // range joins it (a single range larger than this still goes alone).
    uint64_t MaxSpan = 8 * 1024 * 1024;
};

// The requests for `wanted`, in ascending order of their start. Every range
// is a member of exactly one span, and lies inside it. Overlapping ranges always
// share a span; other neighbours share one when their gap is at most MaxGap and
// the waste budget still holds it (the smallest gaps are taken first, which
// saves the most requests for the budget) and the span stays within MaxSpan.
std::vector<PlannedSpan> PlanRanges(const std::vector<ByteRange>& wanted,
                                    const RangePlanLimits& limits = RangePlanLimits());

// The union of the ranges: sorted, disjoint, not touching, no empty range.
std::vector<ByteRange> JoinRanges(std::vector<ByteRange> ranges);

// How many bytes of [from, to) lie inside `joined` (as JoinRanges gives it).
uint64_t BytesCovered(const std::vector<ByteRange>& joined, uint64_t from, uint64_t to);
