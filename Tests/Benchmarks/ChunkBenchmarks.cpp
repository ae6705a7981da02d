// The content-defined cut over 128 MiB in memory, random and text-like, at
// average chunk sizes 16 to 256 KiB (minimum a quarter, maximum four times the
// average); SHA-256 of the chunks on its own; and both together as the
// publisher does them. Bytes per second are per core (one thread).
//   cmake --preset linux-bench && cmake --build --preset linux-bench --target ChunkBenchmarks
//   build/linux-bench/bin/ChunkBenchmarks
#include "BenchClient.h"
#include "ContentChunker.h"
#include "Sha256.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <vector>

namespace
{
// 1 MiB when LAUNCHER_BENCH_TINY is set (scripts/bench.sh --tiny).
const size_t BufferSize = std::getenv("LAUNCHER_BENCH_TINY") ? size_t(1) << 20 : size_t(128) << 20;

// The benchmark client's bytes: random, or game-data words.
const std::vector<uint8_t>& Buffer(bool text)
{
    static std::vector<uint8_t> buffers[2];
    std::vector<uint8_t>& bytes = buffers[text ? 1 : 0];
    if (bytes.empty())
    {
        char path[] = "/tmp/chunk-bench.XXXXXX";
        const int fd = mkstemp(path);
        BenchClient::Random random;
        if (fd >= 0 && BenchClient::WriteClientFile(path, BufferSize, text, random))
        {
            std::ifstream in(path, std::ios::binary);
            bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        std::remove(path);
        if (fd >= 0)
            close(fd);
    }
    return bytes;
}

ChunkSizes SizesFor(int64_t average)
{
    const uint32_t aim = static_cast<uint32_t>(average);
    return {aim / 4, aim, aim * 4};
}

void Cut(benchmark::State& state, bool text)
{
    const std::vector<uint8_t>& bytes = Buffer(text);
    const ChunkSizes sizes = SizesFor(state.range(0));
    size_t chunks = 0;
    for (auto _ : state)
    {
        const std::vector<ChunkSpan> spans = ContentChunker::Cut(bytes.data(), bytes.size(), sizes);
        chunks = spans.size();
        benchmark::DoNotOptimize(spans.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
    state.counters["mean_chunk_KiB"] = double(bytes.size()) / double(chunks) / 1024.0;
}

void CutRandom(benchmark::State& state)
{
    Cut(state, false);
}
void CutText(benchmark::State& state)
{
    Cut(state, true);
}

// SHA-256 of each chunk the default cut makes, without the cut.
void Sha256OfChunks(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = Buffer(false);
    const std::vector<ChunkSpan> spans = ContentChunker::Cut(bytes.data(), bytes.size());
    for (auto _ : state)
        for (const ChunkSpan& span : spans)
            benchmark::DoNotOptimize(Sha256::Of(bytes.data() + span.Offset, span.Length));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}

// The cut and the hashes, as the publisher makes them for every file.
void CutAndSha256(benchmark::State& state)
{
    const std::vector<uint8_t>& bytes = Buffer(false);
    for (auto _ : state)
        for (const ChunkSpan& span : ContentChunker::Cut(bytes.data(), bytes.size()))
            benchmark::DoNotOptimize(Sha256::Of(bytes.data() + span.Offset, span.Length));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(bytes.size()));
}
} // namespace

BENCHMARK(CutRandom)->Arg(16 << 10)->Arg(32 << 10)->Arg(64 << 10)->Arg(128 << 10)->Arg(256 << 10)->Unit(
    benchmark::kMillisecond);
BENCHMARK(CutText)->Arg(64 << 10)->Unit(benchmark::kMillisecond);
BENCHMARK(Sha256OfChunks)->Unit(benchmark::kMillisecond);
BENCHMARK(CutAndSha256)->Unit(benchmark::kMillisecond);
