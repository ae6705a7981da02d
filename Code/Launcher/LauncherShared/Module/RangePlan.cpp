#include "RangePlan.h"

#include <algorithm>
#include <numeric>

std::vector<PlannedSpan> PlanRanges(const std::vector<ByteRange>& wanted, const RangePlanLimits& limits)
{
    std::vector<size_t> order(wanted.size());
    std::iota(order.begin(), order.end(), size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b)
                     {
                         return wanted[a].Start != wanted[b].Start ? wanted[a].Start < wanted[b].Start
                                                                   : wanted[a].Length < wanted[b].Length;
                     });

    // gaps[i]: the bytes between the ranges up to order[i] and order[i + 1];
    // overlapping ones have none to pay for.
    uint64_t wantedBytes = 0;
    std::vector<uint64_t> gaps;
    std::vector<bool> overlaps;
    uint64_t reach = 0;
    for (size_t i = 0; i < order.size(); ++i)
    {
        const ByteRange& range = wanted[order[i]];
        wantedBytes += range.Length;
        if (i > 0)
        {
            overlaps.push_back(range.Start < reach);
            gaps.push_back(range.Start > reach ? range.Start - reach : 0);
        }
        reach = i == 0 ? range.End() : std::max(reach, range.End());
    }

    // Each join saves one request whatever its gap, so the smallest gaps buy
    // the most joins for the budget.
    const uint64_t budget =
        wantedBytes / 1000 * limits.WastePerThousand + wantedBytes % 1000 * limits.WastePerThousand / 1000;
    std::vector<size_t> byGap(gaps.size());
    std::iota(byGap.begin(), byGap.end(), size_t{0});
    std::stable_sort(byGap.begin(), byGap.end(), [&](size_t a, size_t b) { return gaps[a] < gaps[b]; });
    std::vector<bool> join(gaps.size(), false);
    uint64_t spent = 0;
    for (size_t at : byGap)
    {
        if (overlaps[at])
            join[at] = true;
        else if (gaps[at] <= limits.MaxGap && spent + gaps[at] <= budget)
        {
            join[at] = true;
            spent += gaps[at];
        }
    }

    std::vector<PlannedSpan> spans;
    for (size_t i = 0; i < order.size(); ++i)
    {
        const ByteRange& range = wanted[order[i]];
        if (i > 0 && join[i - 1])
        {
            PlannedSpan& span = spans.back();
            const uint64_t end = std::max(span.Start + span.Length, range.End());
            if (overlaps[i - 1] || end - span.Start <= limits.MaxSpan)
            {
                span.Length = end - span.Start;
                span.Members.push_back(order[i]);
                continue;
            }
        }
        PlannedSpan span;
        span.Start = range.Start;
        span.Length = range.Length;
        span.Members.push_back(order[i]);
        spans.push_back(std::move(span));
    }
    return spans;
}

std::vector<ByteRange> JoinRanges(std::vector<ByteRange> ranges)
{
    std::sort(ranges.begin(), ranges.end(),
              [](const ByteRange& a, const ByteRange& b) { return a.Start < b.Start; });
    std::vector<ByteRange> joined;
    for (const ByteRange& range : ranges)
    {
        if (range.Length == 0)
            continue;
        if (!joined.empty() && range.Start <= joined.back().End())
            joined.back().Length = std::max(joined.back().End(), range.End()) - joined.back().Start;
        else
            joined.push_back(range);
    }
    return joined;
}

uint64_t BytesCovered(const std::vector<ByteRange>& joined, uint64_t from, uint64_t to)
{
    // The first range that ends after `from`.
    auto at = std::upper_bound(joined.begin(), joined.end(), from,
                               [](uint64_t value, const ByteRange& range) { return value < range.End(); });
    uint64_t covered = 0;
    for (; at != joined.end() && at->Start < to; ++at)
        covered += std::min(to, at->End()) - std::max(from, at->Start);
    return covered;
}
