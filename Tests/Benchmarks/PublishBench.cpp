// `publish client` beside xz on the same bytes, with a warm cache:
//  1. a client of 40 files and 64 MiB, half of them (and half the bytes) text-like,
//     half random, at the default level (5), beside `tar` of the same files piped to
//     `xz -5 -T1` and `xz -5 -T0`;
//  2. 32 MiB of random bytes in one file at --level 0, beside `xz -0 -T1`.
// Each line gives the publisher's time, xz's time and publish/xz, the sizes, and
// the publisher's peak memory. Needs tar and xz; the files live in a temporary
// folder under /tmp, removed at exit:
//   cmake --preset linux-bench && cmake --build --preset linux-bench --target PublishBench
//   build/linux-bench/bin/PublishBench [--tiny] [--threads N]
// --tiny: 1 MiB each instead of 64 and 32 (seconds even in a sanitizer build).
// --threads goes to the publisher (default: its own, one per processor).
//
// --chunks [--baseline PUBLISH]: the chunked publication instead, on the update
// benchmarks' 1 GiB client (BenchClient.h; --tiny: its 2 MiB shape). Version A
// is published into a chunk store, then version B (a few records changed in
// place in two large archives, a record inserted near the start of a third, ten
// small files rewritten) with --chunk-store: B's time, its new pack, and B's
// time by PUBLISH (a publisher that writes no chunks: today's) for the ratio.
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include "BenchClient.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace
{
using namespace BenchClient;

struct Timed
{
    bool Ok = false;
    double Seconds = 0;
    // Of the program and all it waited for; on a busy machine this says more
    // than the wall time.
    double CpuSeconds = 0;
    long PeakKiB = -1; // the largest of them
};

// Runs a program directly (no shell), so wait4 reports its own peak memory;
// its standard output goes to /dev/null when `quiet`.
Timed RunProgram(const std::vector<std::string>& arguments, bool quiet = false)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    Timed result;
    std::fflush(stdout);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (quiet)
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    const int spawned = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return result;
    int status = 0;
    rusage usage{};
    if (wait4(pid, &status, 0, &usage) != pid)
        return result;
    result.Seconds = SecondsOf(start);
    result.PeakKiB = usage.ru_maxrss;
    result.CpuSeconds = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                        double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    result.Ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return result;
}

// A pipeline, timed whole; bash for pipefail, so a failing tar counts.
Timed RunShell(const std::string& command)
{
    return RunProgram({"/bin/bash", "-c", "set -o pipefail; " + command});
}

uint64_t SizeOf(const fs::path& path)
{
    std::error_code error;
    const uintmax_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

// 20 pairs of one text and one random file; the pairs grow from 1/4 to 7/4 of
// the mean size, so the client has small and large files of both kinds.
uint64_t WriteHalfAndHalf(const fs::path& folder, uint64_t total)
{
    constexpr int Pairs = 20;
    Random random;
    uint64_t written = 0;
    for (int pair = 0; pair < Pairs; ++pair)
    {
        const uint64_t size = total / (2 * Pairs) * (4 + 24 * pair / (Pairs - 1)) / 16;
        for (const bool text : {true, false})
        {
            char name[64];
            std::snprintf(name, sizeof name, "%s/file%02d.dat", text ? "Text" : "Packed", pair);
            if (!WriteClientFile(folder / name, size, text, random))
                return 0;
            written += size;
        }
    }
    return written;
}

// One publish beside each xz command; false when any of them fails.
bool Compare(const char* what, const std::string& bin, const fs::path& client, const fs::path& work,
             uint64_t clientBytes, const std::string& level, const std::string& threads,
             const std::vector<std::string>& xzThreads)
{
    const fs::path out = work / "pub";
    std::vector<std::string> publish = {bin + "publish", "client", "--source", client.string(),
                                        "--version",     "B",      "--out",    out.string(),
                                        "--level",       level};
    if (!threads.empty())
        publish.insert(publish.end(), {"--threads", threads});
    // One untimed read of everything, so every run finds the files in the cache.
    if (!RunShell("tar -C '" + client.string() + "' -cf - . > /dev/null").Ok)
        return std::fprintf(stderr, "tar failed on %s\n", client.c_str()), false;
    const Timed published = RunProgram(publish, true);
    const uint64_t packageBytes = SizeOf(out / "StartupB.pkg");
    if (!published.Ok || packageBytes == 0)
        return std::fprintf(stderr, "publish failed on %s\n", client.c_str()), false;
    std::printf("%s: %.1f MB\n", what, double(clientBytes) / 1e6);
    std::printf("  publish --level %s (%s threads): %.2f s (%.1f MB/s), processor %.2f s, package %.1f MB, "
                "peak memory %ld KiB\n",
                level.c_str(), threads.empty() ? "default" : threads.c_str(), published.Seconds,
                MBps(clientBytes, published.Seconds), published.CpuSeconds, double(packageBytes) / 1e6,
                published.PeakKiB);
    fs::remove_all(out);
    for (const std::string& xzThread : xzThreads)
    {
        const fs::path packed = work / "client.tar.xz";
        const std::string xz = "xz -" + level + " -T" + xzThread;
        const Timed compressed =
            RunShell("tar -C '" + client.string() + "' -cf - . | " + xz + " > '" + packed.string() + "'");
        if (!compressed.Ok)
            return std::fprintf(stderr, "tar | %s failed\n", xz.c_str()), false;
        std::printf("  tar | %s: %.2f s (%.1f MB/s), processor %.2f s, %.1f MB; publish/xz %.3fx "
                    "(processor %.3fx)\n",
                    xz.c_str(), compressed.Seconds, MBps(clientBytes, compressed.Seconds),
                    compressed.CpuSeconds, double(SizeOf(packed)) / 1e6,
                    published.Seconds / compressed.Seconds, published.CpuSeconds / compressed.CpuSeconds);
        fs::remove(packed);
    }
    return true;
}

int Run(bool tiny, const std::string& threads)
{
    char pattern[] = "/tmp/publish-bench.XXXXXX";
    if (!mkdtemp(pattern))
        return std::fprintf(stderr, "cannot make a folder under /tmp\n"), 1;
    const fs::path work = pattern;
    const std::string bin = WideToUtf8(GetModuleDirectory()).c_str();
    int status = 1;
    try
    {
        const uint64_t mixedBytes = WriteHalfAndHalf(work / "mixed", (tiny ? 1 : 64) * MiB);
        Random random;
        const uint64_t randomBytes = (tiny ? 1 : 32) * MiB;
        if (mixedBytes == 0 || !WriteClientFile(work / "random/Packed/all.dat", randomBytes, false, random))
            std::fprintf(stderr, "cannot write the clients under %s\n", work.c_str());
        else if (Compare("40 files, half text, half random", bin, work / "mixed", work, mixedBytes, "5",
                         threads, {"1", "0"}) &&
                 Compare("one file of random bytes", bin, work / "random", work, randomBytes, "0", threads,
                         {"1"}))
            status = 0;
    }
    catch (const std::exception& error) // a full /tmp, say: still remove the folder
    {
        std::fprintf(stderr, "%s\n", error.what());
    }
    std::error_code ignored;
    fs::remove_all(work, ignored);
    return status;
}

// Version B of the update client: records changed in place, one inserted, and
// small files rewritten, as a patch does.
bool EditClient(const fs::path& client)
{
    std::vector<fs::path> archives, small;
    for (const auto& entry : fs::recursive_directory_iterator(client))
        if (entry.is_regular_file())
            (entry.file_size() >= 256 * KiB ? archives : small).push_back(entry.path());
    std::sort(archives.begin(), archives.end());
    std::sort(small.begin(), small.end());
    if (archives.size() < 3 || small.size() < 10)
        return false;
    Random random;
    for (size_t i = 0; i < 3; ++i)
    {
        std::fstream file(archives[i], std::ios::binary | std::ios::in | std::ios::out);
        const uint64_t size = fs::file_size(archives[i]);
        const std::string record = "record " + std::to_string(random.Next()) + " patched";
        if (i < 2)
            for (int k = 1; k <= 4; ++k) // four records changed in place
                file.seekp(static_cast<std::streamoff>(size / 5 * k)),
                    file.write(record.data(), record.size());
        else
        {
            std::vector<char> bytes(size);
            file.read(bytes.data(), static_cast<std::streamsize>(size));
            bytes.insert(bytes.begin() + 4096, record.begin(), record.end());
            file.seekp(0), file.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        }
        if (!file)
            return false;
    }
    for (size_t i = 0; i < 10; ++i)
        if (!WriteClientFile(small[i * small.size() / 10], KiB + random.Next() % (16 * KiB), true, random))
            return false;
    return true;
}

std::vector<std::string> PublishCommand(const std::string& program, const fs::path& client,
                                        const char* version, const fs::path& out, const std::string& threads,
                                        const std::vector<std::string>& extra)
{
    std::vector<std::string> command = {program,     "client", "--source", client.string(),
                                        "--version", version,  "--out",    out.string()};
    if (!threads.empty())
        command.insert(command.end(), {"--threads", threads});
    command.insert(command.end(), extra.begin(), extra.end());
    return command;
}

void Report(const char* what, const Timed& timed, uint64_t clientBytes)
{
    std::printf("  %s: %.2f s (%.1f MB/s), processor %.2f s, peak memory %ld KiB\n", what, timed.Seconds,
                MBps(clientBytes, timed.Seconds), timed.CpuSeconds, timed.PeakKiB);
}

bool ChunkedPublish(const fs::path& work, bool tiny, const std::string& threads, const std::string& baseline)
{
    const std::string publish = WideToUtf8(GetModuleDirectory()).c_str() + std::string("publish");
    const fs::path client = work / "client", store = work / "store";
    size_t count = 0;
    const uint64_t clientBytes = Generate(client, UpdateClientGroups(tiny), count);
    if (clientBytes == 0)
        return std::fprintf(stderr, "cannot write the client under %s\n", work.c_str()), false;
    std::printf("chunked publication: %zu files, %.1f MB\n", count, double(clientBytes) / 1e6);
    RunShell("tar -C '" + client.string() + "' -cf - . > /dev/null");
    const Timed first = RunProgram(PublishCommand(publish, client, "A", store, threads, {}), true);
    if (!first.Ok || !EditClient(client))
        return std::fprintf(stderr, "publishing A or editing the client failed\n"), false;
    Report("A with its chunks, into an empty store", first, clientBytes);
    RunShell("tar -C '" + client.string() + "' -cf - . > /dev/null");
    const Timed second = RunProgram(
        PublishCommand(publish, client, "B", store, threads, {"--chunk-store", store.string()}), true);
    if (!second.Ok)
        return std::fprintf(stderr, "publishing B failed\n"), false;
    Report("B after A with --chunk-store", second, clientBytes);
    std::printf("  B's new pack %.2f MB beside A's %.1f MB; B's index %.1f KB\n",
                double(SizeOf(store / "StartupB.chunkpack")) / 1e6,
                double(SizeOf(store / "StartupA.chunkpack")) / 1e6,
                double(SizeOf(store / "StartupB.chunks")) / 1e3);
    if (baseline.empty())
        return true;
    const Timed today = RunProgram(PublishCommand(baseline, client, "B", work / "today", threads, {}), true);
    if (!today.Ok)
        return std::fprintf(stderr, "%s failed\n", baseline.c_str()), false;
    Report("B by the baseline publisher (no chunks)", today, clientBytes);
    std::printf("  B with chunks / baseline: %.2fx (processor %.2fx)\n", second.Seconds / today.Seconds,
                second.CpuSeconds / today.CpuSeconds);
    return true;
}

int RunChunked(bool tiny, const std::string& threads, const std::string& baseline)
{
    char pattern[] = "/tmp/publish-bench.XXXXXX";
    if (!mkdtemp(pattern))
        return std::fprintf(stderr, "cannot make a folder under /tmp\n"), 1;
    int status = 1;
    try
    {
        status = ChunkedPublish(pattern, tiny, threads, baseline) ? 0 : 1;
    }
    catch (const std::exception& error)
    {
        std::fprintf(stderr, "%s\n", error.what());
    }
    std::error_code ignored;
    fs::remove_all(pattern, ignored);
    return status;
}
} // namespace

int main(int argc, char** argv)
{
    bool tiny = false, usage = false, chunks = false;
    std::string threads, baseline;
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--tiny")
            tiny = true;
        else if (option == "--threads" && i + 1 < argc)
            threads = argv[++i];
        else if (option == "--chunks")
            chunks = true;
        else if (option == "--baseline" && i + 1 < argc)
            baseline = argv[++i];
        else
            usage = true;
    }
    if (usage)
        return std::fprintf(stderr,
                            "usage: PublishBench [--tiny] [--threads N] [--chunks [--baseline PUBLISH]]\n"),
               2;
    const int status = chunks ? RunChunked(tiny, threads, baseline) : Run(tiny, threads);
    std::printf(status == 0 ? "\nPublishBench: done\n" : "\nPublishBench: FAILED\n");
    return status;
}
