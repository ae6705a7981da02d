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
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include "BenchClient.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

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
} // namespace

int main(int argc, char** argv)
{
    bool tiny = false, usage = false;
    std::string threads;
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--tiny")
            tiny = true;
        else if (option == "--threads" && i + 1 < argc)
            threads = argv[++i];
        else
            usage = true;
    }
    if (usage)
        return std::fprintf(stderr, "usage: PublishBench [--tiny] [--threads N]\n"), 2;
    const int status = Run(tiny, threads);
    std::printf(status == 0 ? "\nPublishBench: done\n" : "\nPublishBench: FAILED\n");
    return status;
}
