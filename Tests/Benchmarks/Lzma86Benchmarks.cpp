// DecodeLzma86 beside liblzma unpacking the very same stream, plain and with the
// x86 branch filter. Throughput is counted in unpacked bytes.
#include "Lzma86.h"

#include <benchmark/benchmark.h>
#include <lzma.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace
{
using Bytes = std::vector<uint8_t>;

// 16 MiB; 256 KiB when LAUNCHER_BENCH_TINY is set (scripts/bench.sh --tiny), which
// only checks that the benchmark still runs.
const size_t InputSize = std::getenv("LAUNCHER_BENCH_TINY") ? size_t(256) << 10 : size_t(16) << 20;

// Text like a skin document or a log: words, numbers and markup, compressible
// about as well as the real thing.
Bytes TextInput()
{
    static const char* const words[] = {
        "<Window", "name=",   "\"MainFrame\"", "width=",   "height=", "image=", "\"bg.png\"",
        "/>",      "<Button", "text=",         "Download", "version", "client", "package",
        "\n",      "    ",    "</Window>",     "="};
    std::mt19937 random(5);
    Bytes text;
    text.reserve(InputSize);
    while (text.size() < InputSize)
    {
        std::string piece = words[random() % (sizeof(words) / sizeof(words[0]))];
        if (random() % 4 == 0)
            piece += std::to_string(random() % 2000);
        piece += ' ';
        text.insert(text.end(), piece.begin(), piece.end());
    }
    text.resize(InputSize);
    return text;
}

// Machine code: this program and the shared libraries it has loaded, repeated to
// the input size (the repeats lie further apart than the 4 MiB dictionary reaches).
Bytes CodeInput()
{
    std::vector<std::string> files = {"/proc/self/exe"};
    std::ifstream maps("/proc/self/maps");
    std::string line;
    while (std::getline(maps, line))
    {
        const size_t slash = line.find('/');
        if (slash == std::string::npos || line.find(".so") == std::string::npos)
            continue;
        const std::string path = line.substr(slash);
        if (std::find(files.begin(), files.end(), path) == files.end())
            files.push_back(path);
    }
    // Read no further than the input size: the libraries of a sanitizer build are
    // large, and the tiny run needs only their first bytes.
    Bytes code;
    for (size_t k = 0; k < files.size() && code.size() < InputSize; ++k)
    {
        std::ifstream file(files[k], std::ios::binary);
        const size_t at = code.size();
        code.resize(InputSize);
        file.read(reinterpret_cast<char*>(code.data() + at), static_cast<std::streamsize>(InputSize - at));
        code.resize(at + static_cast<size_t>(file.gcount()));
    }
    const Bytes once = code;
    while (!once.empty() && code.size() < InputSize)
        code.insert(code.end(), once.begin(), once.end());
    code.resize(InputSize);
    return code;
}

struct Sample
{
    Bytes Container;
    size_t UnpackedSize = 0;
};

Sample MakeSample(bool code)
{
    Sample sample;
    const Bytes input = code ? CodeInput() : TextInput();
    sample.UnpackedSize = input.size();
    EncodeLzma86(input.data(), input.size(), code, sample.Container);
    return sample;
}

// Made once per program: encoding 16 MiB takes seconds.
const Sample& Prepared(bool code)
{
    static const Sample samples[2] = {MakeSample(false), MakeSample(true)};
    return samples[code ? 1 : 0];
}

bool LiblzmaDecode(const Sample& sample, Bytes& output)
{
    lzma_options_lzma options;
    if (lzma_lzma_preset(&options, 6))
        return false;
    // The properties our header carries: lc 3, lp 0, pb 2, a 4 MiB dictionary.
    options.lc = 3;
    options.lp = 0;
    options.pb = 2;
    options.dict_size = 1u << 22;
    options.ext_flags = 0;
    options.ext_size_low = static_cast<uint32_t>(sample.UnpackedSize);
    options.ext_size_high = static_cast<uint32_t>(uint64_t(sample.UnpackedSize) >> 32);
    lzma_filter filters[3];
    size_t count = 0;
    if (sample.Container[0] == 1)
        filters[count++] = {LZMA_FILTER_X86, nullptr};
    filters[count++] = {LZMA_FILTER_LZMA1EXT, &options};
    filters[count] = {LZMA_VLI_UNKNOWN, nullptr};

    lzma_stream stream = LZMA_STREAM_INIT;
    if (lzma_raw_decoder(&stream, filters) != LZMA_OK)
        return false;
    output.resize(sample.UnpackedSize);
    stream.next_in = sample.Container.data() + Lzma86HeaderSize;
    stream.avail_in = sample.Container.size() - Lzma86HeaderSize;
    stream.next_out = output.data();
    stream.avail_out = output.size();
    lzma_ret result = LZMA_OK;
    while (result == LZMA_OK)
        result = lzma_code(&stream, LZMA_FINISH);
    lzma_end(&stream);
    return result == LZMA_STREAM_END && stream.total_out == sample.UnpackedSize;
}

void Ours(benchmark::State& state, bool code)
{
    const Sample& sample = Prepared(code);
    Bytes output;
    for (auto _ : state)
    {
        if (!DecodeLzma86(sample.Container.data(), sample.Container.size(), output))
        {
            state.SkipWithError("DecodeLzma86 failed");
            return;
        }
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sample.UnpackedSize));
    state.counters["ratio"] = double(sample.Container.size()) / double(sample.UnpackedSize);
}

void Liblzma(benchmark::State& state, bool code)
{
    const Sample& sample = Prepared(code);
    Bytes output;
    for (auto _ : state)
    {
        if (!LiblzmaDecode(sample, output))
        {
            state.SkipWithError("liblzma failed");
            return;
        }
        benchmark::DoNotOptimize(output.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(sample.UnpackedSize));
}
} // namespace

BENCHMARK_CAPTURE(Ours, Text, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Liblzma, Text, false)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Ours, CodeWithX86Filter, true)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(Liblzma, CodeWithX86Filter, true)->Unit(benchmark::kMillisecond);
