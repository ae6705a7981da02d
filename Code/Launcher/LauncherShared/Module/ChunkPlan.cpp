#include "ChunkPlan.h"

#include <map>
#include <set>

namespace
{
// The requests for the missing chunks, pack by pack, planned as the partial
// way plans its ranges.
std::vector<PackRequests> PlanRequests(const ChunkIndex& index, const std::set<uint32_t>& missing)
{
    std::map<uint16_t, std::vector<uint32_t>> byPack;
    for (uint32_t chunk : missing)
        byPack[index.Chunks[chunk].Pack].push_back(chunk);
    std::vector<PackRequests> requests;
    for (const auto& [pack, chunks] : byPack)
    {
        std::vector<ByteRange> ranges;
        for (uint32_t chunk : chunks)
            ranges.push_back({index.Chunks[chunk].Offset, index.Chunks[chunk].StoredSize});
        PackRequests request{pack, PlanRanges(ranges)};
        for (PlannedSpan& span : request.Spans)
            for (size_t& member : span.Members)
                member = chunks[member];
        requests.push_back(std::move(request));
    }
    return requests;
}
} // namespace

ChunkFilePlan PlanChunkedFile(const ChunkIndex& index, const ChunkIndexFile& file, const OldChunks& old)
{
    ChunkFilePlan plan;
    std::set<uint32_t> missing;
    uint64_t at = 0;
    for (uint32_t chunk : file.Chunks)
    {
        const ChunkRecord& record = index.Chunks[chunk];
        ChunkPiece piece{at, record.Length, false, 0, chunk};
        const auto found = old.find(record.Sha256);
        if (found != old.end() && found->second.Length == record.Length)
        {
            piece.Reused = true;
            piece.OldOffset = found->second.Offset;
            plan.ReusedBytes += record.Length;
        }
        else
            missing.insert(chunk);
        plan.Pieces.push_back(piece);
        at += record.Length;
    }
    for (uint32_t chunk : missing)
        plan.MissingBytes += index.Chunks[chunk].StoredSize;
    plan.Requests = PlanRequests(index, missing);
    for (const PackRequests& request : plan.Requests)
        for (const PlannedSpan& span : request.Spans)
            plan.FetchedBytes += span.Length;
    return plan;
}
