// The full way's write phase (reading the members of a verified package,
// unpacking them, writing the files) with one decoder and with two: a client
// of about 300 MiB (files of 1 KiB to 32 MiB, half text-like, half random
// bytes that the publisher stores) is published with the publisher from bin/
// straight into the download folder, so FullPackageDownload finds a package
// that verifies and fetches nothing. Each run writes into an empty folder with
// a warm cache, in a process of its own (for its peak memory), and is checked
// against the manifest; each round runs one decoder pinned to each core in turn,
// then two decoders, and the summary gives each core's best and median and two
// decoders beside the cores' mean.
// Native only:
//   cmake --preset linux-bench && cmake --build --preset linux-bench
//   build/linux-bench/bin/UnpackBench [--tiny] [--rounds N] [--level N] [--keep DIR]
// --tiny: a client of a few MiB and one round, for CI. Data lives in a folder
// under /tmp, removed at exit; with --keep in DIR, where the published package
// stays for the next run (publishing takes minutes, the runs seconds).
#include "BenchClient.h"

#include "LauncherDownload.h"
#include "LauncherFiles.h"
#include "Manifest.h"
#include "PackageCheck.h"
#include "PackageProgress.h"
#include "PackageWorker.h"

#include "xPlatformTime.h"
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include <sched.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace
{
// The update's context for every run (a run's child process starts from its values).
UpdateContext& BenchContext()
{
    static UpdateContext* const context = new UpdateContext(LauncherFiles());
    return *context;
}

using BenchClient::KiB;
using BenchClient::MiB;
using BenchClient::StatusKiB;
const char* const Version = "UNPACK";

struct Options
{
    bool Tiny = false;
    int Rounds = 3;
    std::string Level;
    std::string Keep; // a folder that keeps the published package for later runs
};

int Shell(const std::string& command)
{
    std::fflush(stdout);
    return std::system(command.c_str());
}

// Counts the files that do not match the manifest.
size_t CountWrong(const std::string& folder, const Manifest& manifest)
{
    const xWString base = Utf8ToWide(folder.c_str());
    size_t wrong = 0;
    for (const ManifestEntry& entry : manifest.Entries)
        wrong += VerifyFile(BenchContext().Files, base + entry.Name, entry.OrigSize, entry.Xx, true) ? 0 : 1;
    return wrong;
}

struct Sample
{
    double Seconds = 0;     // wall time of the write phase
    double OnCore = 0;      // time its threads ran on a core
    double BusiestCore = 0; // of which the busiest thread's
    double Waited = 0;      // time its threads were ready but waited for a core
    double MainBlocked = 0; // time this thread neither ran nor waited to (disk, locks)
    long PeakKiB = 0;       // VmHWM of the run's process
    long GrownKiB = 0;      // over its VmRSS at the start
};

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 != 0 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// Nanoseconds a thread has run on a core and waited for one, by thread id.
struct ThreadTimes
{
    uint64_t OnCore = 0, Waited = 0;
};
using TimesByThread = std::map<long, ThreadTimes>;

void ReadThreadTimes(TimesByThread& times, long skip)
{
    for (const fs::directory_entry& task : fs::directory_iterator("/proc/self/task"))
    {
        const long id = std::atol(task.path().filename().c_str());
        std::ifstream stat(task.path() / "schedstat");
        ThreadTimes read;
        if (id != skip && stat >> read.OnCore >> read.Waited)
            times[id] = read;
    }
}

// The machine is shared: other work takes cores from the run. Each thread's
// time on a core and waiting for one (from the scheduler's statistics) tells
// what the write phase itself took. A sampler keeps the last reading of the
// decoders, whose statistics go when they end; it also takes the readings at
// the moment the package has verified, where the write phase starts.
class CoreTimes
{
public:
    CoreTimes() : Sampler([this] { Sample(); }) {}
    ~CoreTimes()
    {
        Done = true;
        if (Sampler.joinable())
            Sampler.join();
    }
    void Finish(Sample& sample)
    {
        Done = true;
        Sampler.join();
        ReadThreadTimes(Last, SamplerId);
        for (const auto& [id, last] : Last)
        {
            const auto start = AtStart.find(id);
            const ThreadTimes before = start != AtStart.end() ? start->second : ThreadTimes();
            const double onCore = double(last.OnCore - before.OnCore) / 1e9;
            const double waited = double(last.Waited - before.Waited) / 1e9;
            sample.OnCore += onCore;
            sample.BusiestCore = std::max(sample.BusiestCore, onCore);
            sample.Waited += waited;
            if (id == getpid())
                sample.MainBlocked = sample.Seconds - onCore - waited;
        }
    }

private:
    void Sample()
    {
        SamplerId = static_cast<long>(gettid());
        while (!Done)
        {
            ReadThreadTimes(Last, SamplerId);
            if (AtStart.empty() && BenchContext().Progress.DownloadEndTime.load() != 0.0)
                AtStart = Last;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    std::atomic<bool> Done{false};
    long SamplerId = 0;
    TimesByThread Last, AtStart;
    std::thread Sampler;
};

// One write phase into an empty folder, in a child process of its own: its
// VmHWM is then this run's peak alone (not every kernel lets a process reset
// its own). False when the run failed or wrote wrong files.
bool RunOnce(const PackageJob& job, const Manifest& manifest, int decoders, int core, Sample& sample)
{
    const std::string install = WideToUtf8(job.PublishFolder).c_str();
    fs::remove_all(install);
    // The earlier run's files on disk and gone before this one starts: the
    // kernel's writing them back would take cores from it.
    sync();
    int channel[2];
    if (pipe(channel) != 0)
        return false;
    std::fflush(stdout);
    const pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0)
    {
        close(channel[0]);
        if (core >= 0)
        {
            cpu_set_t only;
            CPU_ZERO(&only);
            CPU_SET(core, &only);
            sched_setaffinity(0, sizeof only, &only);
        }
        BenchContext().DecoderCount = decoders;
        Sample measured;
        const long rssBefore = StatusKiB("VmRSS:");
        bool whole = false;
        {
            CoreTimes times;
            whole = FullPackageDownload(BenchContext(), job, manifest);
            // From the moment the package had verified.
            measured.Seconds = xPlatformTime::Seconds() - BenchContext().Progress.DownloadEndTime;
            times.Finish(measured);
        }
        measured.PeakKiB = StatusKiB("VmHWM:");
        measured.GrownKiB = measured.PeakKiB - rssBefore;
        const bool sent = write(channel[1], &measured, sizeof measured) == ssize_t(sizeof measured);
        _exit(whole && sent ? 0 : 1);
    }
    close(channel[1]);
    const bool received = read(channel[0], &sample, sizeof sample) == ssize_t(sizeof sample);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    const bool whole = received && WIFEXITED(status) && WEXITSTATUS(status) == 0;
    const size_t wrong = CountWrong(install, manifest);
    if (!whole || wrong != 0)
        std::fprintf(stderr, "%d decoders: FullPackageDownload %s, %zu files wrong\n", decoders,
                     whole ? "true" : "false", wrong);
    return whole && wrong == 0;
}

int Run(const Options& options)
{
    char pattern[] = "/tmp/UnpackBench.XXXXXX";
    if (options.Keep.empty() && mkdtemp(pattern) == nullptr)
        return std::fprintf(stderr, "cannot make a folder under /tmp\n"), 1;
    const std::string root = options.Keep.empty() ? std::string(pattern) + "/" : options.Keep + "/";
    struct Cleanup
    {
        std::string Folder;
        ~Cleanup()
        {
            if (!Folder.empty())
                fs::remove_all(Folder);
        }
    } cleanup{options.Keep.empty() ? root : std::string()};
    const std::string client = root + "client/", download = root + "download/", install = root + "install/";
    const std::string bin = WideToUtf8(GetModuleDirectory()).c_str();
    const std::string packageFile = download + "Startup" + Version + ".pkg";
    const std::string manifestPath = download + "Startup" + Version + ".crc";

    // Many small files, some of a few MiB, a few large ones (.dll: the x86 filter).
    const std::vector<BenchClient::Group> groups =
        options.Tiny ? std::vector<BenchClient::Group>{{"Data", ".dat", 60, KiB, 64 * KiB},
                                                       {"Media", ".pak", 6, 256 * KiB, MiB}}
                     : std::vector<BenchClient::Group>{{"Data", ".dat", 1000, KiB, 64 * KiB},
                                                       {"Media", ".pak", 40, MiB, 8 * MiB},
                                                       {"Bin", ".dll", 2, 16 * MiB, 32 * MiB},
                                                       {"Archive", ".res", 2, 16 * MiB, 32 * MiB}};
    uint64_t clientBytes = 0;
    if (fs::exists(packageFile) && fs::exists(manifestPath))
    {
        std::printf("package and manifest kept in %s from an earlier run\n", download.c_str());
    }
    else
    {
        double start = xPlatformTime::Seconds();
        size_t fileCount = 0;
        clientBytes = BenchClient::Generate(client, groups, fileCount);
        if (clientBytes == 0)
            return std::fprintf(stderr, "cannot write the client in %s\n", client.c_str()), 1;
        std::printf("client: %zu files, %llu bytes, written in %.1f s\n", fileCount,
                    static_cast<unsigned long long>(clientBytes), xPlatformTime::Seconds() - start);

        start = xPlatformTime::Seconds();
        const std::string publish =
            "'" + bin + "publish' client --source '" + client + "' --version " + Version + " --out '" +
            download + "' --xx" + (options.Level.empty() ? "" : " --level " + options.Level) + " > /dev/null";
        if (Shell(publish) != 0)
            return std::fprintf(stderr, "publish failed: %s\n", publish.c_str()), 1;
        std::printf("publish (level %s): %.1f s\n", options.Level.empty() ? "default" : options.Level.c_str(),
                    xPlatformTime::Seconds() - start);
        fs::remove_all(client);
    }

    std::ifstream manifestFile(manifestPath, std::ios::binary);
    const std::vector<uint8_t> container{std::istreambuf_iterator<char>(manifestFile),
                                         std::istreambuf_iterator<char>()};
    Manifest manifest;
    if (!ReadManifestContainer(container, manifest) || manifest.Entries.empty())
        return std::fprintf(stderr, "the published manifest cannot be read\n"), 1;
    uint64_t largestPacked = 0, largestUnpacked = 0, largestContainer = 0, packed = 0;
    clientBytes = 0;
    for (const ManifestEntry& entry : manifest.Entries)
    {
        const uint64_t held = entry.Compressed != 0 ? uint64_t(entry.DataSize) + entry.OrigSize : 0;
        largestContainer = std::max<uint64_t>(largestContainer, entry.Compressed != 0 ? entry.DataSize : 0);
        if (held > largestPacked + largestUnpacked)
            largestPacked = entry.DataSize, largestUnpacked = entry.OrigSize;
        packed += entry.Compressed != 0 ? 1 : 0;
        clientBytes += entry.OrigSize;
    }
    std::printf("package: %u bytes, %zu members (%zu packed), %llu bytes unpacked\n",
                manifest.Package.TotalSize, manifest.Entries.size(), static_cast<size_t>(packed),
                static_cast<unsigned long long>(clientBytes));
    std::printf("cores: %u (the machine may be shared: compare best and median)\n",
                std::thread::hardware_concurrency());

    // The package is where the full way looks for it and verifies: nothing is
    // fetched (and nothing could be: no server answers at the base URL).
    BenchContext().DownloadFolder = Utf8ToWide(download.c_str());
    BenchContext().RetryPolicy.PackageAttempts = 0;
    PackageJob job;
    job.BaseUrl = "http://127.0.0.1:9/";
    job.PackageName = xString((std::string("Startup") + Version + ".pkg").c_str());
    job.ManifestName = xString((std::string("Startup") + Version + ".crc").c_str());
    job.PublishFolder = Utf8ToWide(install.c_str());
    // Warm: the package's pages are in the cache before the first timed run.
    if (Shell("cat '" + download + "'* > /dev/null") != 0)
        return std::fprintf(stderr, "cannot read the package\n"), 1;

    // The cores of a shared machine need not be equally fast (on the build
    // machine one is about 1.3x the other), so one decoder runs on each core in
    // turn, pinned, and two decoders are compared with the cores' mean.
    const int cores = std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
    const int counts[] = {1, 2};
    std::map<int, std::vector<Sample>> samples, onCore;
    const int rounds = options.Tiny ? 1 : options.Rounds;
    for (int round = 1; round <= rounds; ++round)
    {
        for (int decoders : counts)
        {
            for (int core = 0; core < (decoders == 1 ? cores : 1); ++core)
            {
                Sample sample;
                if (!RunOnce(job, manifest, decoders, decoders == 1 ? core : -1, sample))
                    return 1;
                samples[decoders].push_back(sample);
                if (decoders == 1)
                    onCore[core].push_back(sample);
                std::printf("  round %d, %d decoder%s%s: %.2f s; on a core %.2f s (busiest thread %.2f s), "
                            "waiting for one %.2f s, main thread blocked %.2f s; VmHWM %ld KiB (+%ld KiB)\n",
                            round, decoders, decoders == 1 ? "" : "s",
                            decoders == 1 ? (" on core " + std::to_string(core)).c_str() : "", sample.Seconds,
                            sample.OnCore, sample.BusiestCore, sample.Waited, sample.MainBlocked,
                            sample.PeakKiB, sample.GrownKiB);
            }
        }
    }
    fs::remove_all(install);

    std::printf("\n");
    const auto secondsOf = [](const std::vector<Sample>& runs)
    {
        std::vector<double> seconds;
        for (const Sample& sample : runs)
            seconds.push_back(sample.Seconds);
        return seconds;
    };
    // One decoder: each core's best and median, and their means; what the
    // cores can give together is the sum of their speeds.
    double meanBest = 0, meanMedian = 0, speeds = 0;
    for (const auto& [core, runs] : onCore)
    {
        const std::vector<double> seconds = secondsOf(runs);
        const double best = *std::min_element(seconds.begin(), seconds.end()), median = Median(seconds);
        meanBest += best / cores, meanMedian += median / cores, speeds += 1 / median;
        std::printf("write phase, 1 decoder on core %d: %.2f s (median %.2f s, %.0f MB/s of client data)\n",
                    core, best, median, double(clientBytes) / 1e6 / best);
    }
    const std::vector<double> two = secondsOf(samples[2]);
    const double twoBest = *std::min_element(two.begin(), two.end()), twoMedian = Median(two);
    std::printf(
        "write phase, 2 decoders: %.2f s, %.2fx the cores' mean best (median %.2f s, %.2fx the cores' "
        "mean median); these cores can give at most %.2fx\n",
        twoBest, meanBest / twoBest, twoMedian, meanMedian / twoMedian,
        meanMedian * speeds * std::min(2, cores) / cores);
    for (int decoders : counts)
    {
        long peak = 0, grown = 0;
        for (const Sample& sample : samples[decoders])
            peak = std::max(peak, sample.PeakKiB), grown = std::max(grown, sample.GrownKiB);
        std::printf(
            "peak memory: VmHWM %ld KiB with %d decoder%s, +%ld KiB in the write phase (largest member "
            "%llu bytes packed, %llu unpacked; largest container %llu bytes)\n",
            peak, decoders, decoders == 1 ? "" : "s", grown, static_cast<unsigned long long>(largestPacked),
            static_cast<unsigned long long>(largestUnpacked),
            static_cast<unsigned long long>(largestContainer));
    }
    return 0;
}

bool ReadOptions(int argc, char** argv, Options& options)
{
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--tiny")
            options.Tiny = true;
        else if (option == "--rounds" && i + 1 < argc && std::atoi(argv[i + 1]) > 0)
            options.Rounds = std::atoi(argv[++i]);
        else if (option == "--level" && i + 1 < argc)
            options.Level = argv[++i];
        else if (option == "--keep" && i + 1 < argc)
            options.Keep = argv[++i];
        else
            return false;
    }
    return true;
}
} // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ReadOptions(argc, argv, options))
        return std::fprintf(stderr, "usage: UnpackBench [--tiny] [--rounds N] [--level N] [--keep DIR]\n"), 2;
    int status = 1;
    try
    {
        status = Run(options);
    }
    catch (const std::exception& error) // a full /tmp, say: still remove the data
    {
        std::fprintf(stderr, "%s\n", error.what());
    }
    std::printf(status == 0 ? "\nUnpackBench: done\n" : "\nUnpackBench: FAILED\n");
    return status;
}
