// The file checksums over 256 MiB in memory, beside a plain read of the same
// buffer: how far each is from what the memory can deliver. SHA-256 three ways:
// the native build's (OpenSSL), and the built-in one the Windows build uses,
// with the SHA instructions and without.
#include "BuiltInSha256.h"
#include "Crc32c.h"
#include "Sha256.h"
#include "Xxh32.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

namespace
{
// 256 MiB; 1 MiB when LAUNCHER_BENCH_TINY is set (scripts/bench.sh --tiny), which
// only checks that the benchmark still runs.
const size_t BufferSize = std::getenv("LAUNCHER_BENCH_TINY") ? size_t(1) << 20 : size_t(256) << 20;

const std::vector<uint8_t>& Buffer()
{
    static const std::vector<uint8_t> buffer = []
    {
        std::vector<uint8_t> bytes(BufferSize);
        std::mt19937_64 random(1);
        for (size_t i = 0; i < bytes.size(); i += 8)
        {
            const uint64_t word = random();
            std::memcpy(bytes.data() + i, &word, 8);
        }
        return bytes;
    }();
    return buffer;
}

template <typename Function> void Measure(benchmark::State& state, Function function)
{
    const std::vector<uint8_t>& buffer = Buffer();
    for (auto _ : state)
        benchmark::DoNotOptimize(function(buffer.data(), buffer.size()));
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(buffer.size()));
}

void MemoryRead(benchmark::State& state)
{
    Measure(state,
            [](const uint8_t* data, size_t size)
            {
                uint64_t sum = 0;
                for (size_t i = 0; i < size; i += 8)
                {
                    uint64_t word;
                    std::memcpy(&word, data + i, 8);
                    sum += word;
                }
                return sum;
            });
}

void Crc32cHardwarePath(benchmark::State& state)
{
    if (!HasCrc32Instruction())
    {
        state.SkipWithError("no crc32 instruction on this processor");
        return;
    }
    Measure(state, [](const uint8_t* data, size_t size) { return Crc32cHardware(data, size); });
}

void Crc32cSoftwarePath(benchmark::State& state)
{
    Measure(state, [](const uint8_t* data, size_t size) { return Crc32cSoftware(data, size); });
}

void Xxh32Hash(benchmark::State& state)
{
    Measure(state, [](const uint8_t* data, size_t size) { return Xxh32(data, size); });
}

void Sha256OpenSsl(benchmark::State& state)
{
    Measure(state,
            [](const uint8_t* data, size_t size) { return Sha256::Of(data, size).value_or(Sha256Digest{}); });
}

Sha256Digest BuiltIn(Sha256BlockFunction blocks, const uint8_t* data, size_t size)
{
    BuiltInSha256 hash(blocks);
    hash.Update(data, size);
    return hash.Finish();
}

void Sha256BuiltInShaNi(benchmark::State& state)
{
    if (!HasShaInstructions())
    {
        state.SkipWithError("no SHA instructions on this processor");
        return;
    }
    Measure(state,
            [](const uint8_t* data, size_t size) { return BuiltIn(Sha256BlocksHardware, data, size); });
}

void Sha256BuiltInPlain(benchmark::State& state)
{
    Measure(state,
            [](const uint8_t* data, size_t size) { return BuiltIn(Sha256BlocksSoftware, data, size); });
}
} // namespace

BENCHMARK(MemoryRead)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc32cHardwarePath)->Unit(benchmark::kMillisecond);
BENCHMARK(Crc32cSoftwarePath)->Unit(benchmark::kMillisecond);
BENCHMARK(Xxh32Hash)->Unit(benchmark::kMillisecond);
BENCHMARK(Sha256OpenSsl)->Unit(benchmark::kMillisecond);
BENCHMARK(Sha256BuiltInShaNi)->Unit(benchmark::kMillisecond);
BENCHMARK(Sha256BuiltInPlain)->Unit(benchmark::kMillisecond);
