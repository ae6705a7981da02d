// The package worker on a client of about 2,000 files and 1 GiB (small, medium
// and large files in nested folders, half text-like, half random bytes):
//  1. VerifyFile of every file against the published manifest, CRC-32C and
//     XXH32, each alone and with the SHA-256 beside it, beside `cat` of the same
//     files and a plain read of them in 1 MiB pieces, all with a warm cache;
//  2. PackageUpdateThread into an empty folder from the dev server on loopback (the
//     full way), with wall time and peak RSS, then a check of what it wrote:
//     under the manifest without its SHA-256 sums, then under the published one.
// Native only; takes about ten minutes (mostly the publisher) and 3.5 GB under
// /tmp, removed at exit:
//   cmake --preset linux-bench && cmake --build --preset linux-bench
//   build/linux-bench/bin/PackageUpdateBench [--level N | --verify-only] [--tiny]
// --level goes to the publisher: its default, 5, is what ships; 1 publishes in
// less than half the time, but its package unpacks more slowly. --verify-only
// runs step 1 alone, against sums taken here (in under a minute, 1 GiB of /tmp).
// --tiny does the same on a client of 45 files and about 2 MiB, one round of
// step 1: seconds even in a sanitizer build, so the test command keeps it working.
#include "Crc32c.h"
#include "Lzma86.h"
#include "LauncherDownload.h"
#include "LauncherFiles.h"
#include "LauncherDownloadServers.h"
#include "Manifest.h"
#include "PackageCheck.h"
#include "PackageProgress.h"
#include "PackageWorker.h"
#include "Sha256.h"
#include "Xxh32.h"

#include "xPlatformTime.h"
#include "xSystemPaths.h"
#include "xTextConversion.h"

#include "BenchClient.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace
{
using namespace BenchClient;
const char* const Version = "BENCH";

uint64_t GenerateClient(const fs::path& root, bool tiny, size_t& count)
{
    return Generate(root, UpdateClientGroups(tiny), count);
}

// Which sums a check holds the files to: today's one 32-bit sum, or that and
// the SHA-256 the manifest names now.
enum class Sums
{
    Crc32c,
    Xxh32,
    Crc32cAndSha256,
    Xxh32AndSha256,
};

// Counts the files that do not match the manifest.
size_t VerifyAll(const std::string& folder, const Manifest& manifest, Sums sums)
{
    const xWString base = Utf8ToWide(folder.c_str());
    const xEngineFileSystem files;
    size_t failed = 0;
    for (const ManifestEntry& entry : manifest.Entries)
    {
        ExpectedContent expected = ExpectedOf(entry);
        expected.XxPresent = sums == Sums::Xxh32 || sums == Sums::Xxh32AndSha256;
        expected.Sha256Present = sums == Sums::Crc32cAndSha256 || sums == Sums::Xxh32AndSha256;
        if (!VerifyFile(files, base + entry.Name, expected))
            ++failed;
    }
    return failed;
}

// Our own lines first, then the command's.
int Shell(const std::string& command)
{
    std::fflush(stdout);
    return std::system(command.c_str());
}

// Writing 5 sets VmHWM back to the current RSS, so a later reading is the peak
// of what ran in between.
bool ResetPeakRss()
{
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5" << std::flush;
    return clear.good();
}

// What reading alone costs: every file in 1 MiB reads into one buffer, nothing
// summed. cat pays a process start and more per file on top; this does not.
uint64_t ReadAll(const std::string& folder, const Manifest& manifest)
{
    static std::vector<char> buffer(MiB);
    uint64_t total = 0;
    for (const ManifestEntry& entry : manifest.Entries)
    {
        const int fd = open((folder + WideToUtf8(entry.Name).c_str()).c_str(), O_RDONLY);
        if (fd < 0)
            continue;
        for (ssize_t got; (got = read(fd, buffer.data(), buffer.size())) > 0;)
            total += static_cast<uint64_t>(got);
        close(fd);
    }
    return total;
}

// Step 1: VerifyFile of every file beside `cat` of the same files, all with a
// warm cache (one untimed read of everything first), with each 32-bit sum alone
// (the check before SHA-256) and with the SHA-256 beside it.
bool VerifyBesideCat(const std::string& client, const Manifest& manifest, uint64_t clientBytes, int rounds)
{
    std::printf("\n1. Verifying the installed client (MB = 10^6 bytes, warm cache)\n");
    const std::string cat = "find '" + client + "' -type f -print0 | xargs -0 cat > /dev/null";
    if (Shell(cat) != 0)
        return std::fprintf(stderr, "cat failed\n"), false;
    for (int round = 1; round <= rounds; ++round)
    {
        auto start = std::chrono::steady_clock::now();
        const int catResult = Shell(cat);
        const double catSeconds = SecondsOf(start);
        start = std::chrono::steady_clock::now();
        const uint64_t readBytes = ReadAll(client, manifest);
        const double readSeconds = SecondsOf(start);
        double seconds[4];
        size_t failed = 0;
        for (int sums = 0; sums < 4; ++sums)
        {
            start = std::chrono::steady_clock::now();
            failed += VerifyAll(client, manifest, static_cast<Sums>(sums));
            seconds[sums] = SecondsOf(start);
        }
        std::printf("  round %d: cat %.3f s (%.0f MB/s)   VerifyFile CRC-32C %.3f s (%.0f MB/s, %.2fx cat)   "
                    "VerifyFile XXH32 %.3f s (%.0f MB/s, %.2fx cat)\n",
                    round, catSeconds, MBps(clientBytes, catSeconds), seconds[0],
                    MBps(clientBytes, seconds[0]), catSeconds / seconds[0], seconds[1],
                    MBps(clientBytes, seconds[1]), catSeconds / seconds[1]);
        std::printf("           read in 1 MiB pieces %.3f s (%.0f MB/s): VerifyFile CRC-32C %.2fx of it, "
                    "XXH32 %.2fx\n",
                    readSeconds, MBps(clientBytes, readSeconds), readSeconds / seconds[0],
                    readSeconds / seconds[1]);
        std::printf("           with SHA-256 beside: CRC-32C + SHA-256 %.3f s (%.0f MB/s, %.2fx the CRC-32C "
                    "check)   XXH32 + SHA-256 %.3f s (%.0f MB/s, %.2fx the XXH32 check)\n",
                    seconds[2], MBps(clientBytes, seconds[2]), seconds[2] / seconds[0], seconds[3],
                    MBps(clientBytes, seconds[3]), seconds[3] / seconds[1]);
        if (readBytes != clientBytes || catResult != 0 || failed != 0)
            return std::fprintf(stderr, "mismatches: read %llu bytes, cat %d, %zu files failed a check\n",
                                static_cast<unsigned long long>(readBytes), catResult, failed),
                   false;
    }
    return true;
}

// The manifest entries the publisher would write, from the files themselves; the
// software CRC-32C keeps them independent of the path VerifyFile takes.
bool SumClient(const std::string& client, Manifest& manifest)
{
    for (const fs::directory_entry& file : fs::recursive_directory_iterator(client))
    {
        if (!file.is_regular_file())
            continue;
        std::ifstream in(file.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
        if (!in.good() && !in.eof())
            return false;
        ManifestEntry entry;
        entry.Name = Utf8ToWide(file.path().lexically_relative(client).generic_string().c_str());
        entry.OrigSize = static_cast<uint32_t>(bytes.size());
        entry.OrigCrc32c = Crc32cSoftware(bytes.data(), bytes.size());
        entry.Xx = Xxh32(bytes.data(), bytes.size());
        entry.XxPresent = true;
        const std::optional<Sha256Digest> sha256 = Sha256::Of(bytes.data(), bytes.size());
        if (!sha256)
            return false;
        entry.Sha256 = *sha256;
        entry.Sha256Present = true;
        manifest.Entries.push_back(entry);
    }
    return true;
}

// One full update's manifest: what it names and the served name.
struct UpdateRun
{
    const char* What;
    std::string Manifest;
};

std::string OlderManifest()
{
    return "Startup" + std::string(Version) + "-32bit.crc";
}

// Step 2, one run: PackageUpdateThread into an empty publish folder, with its
// wall time, phases and peak memory, then a check of what it wrote.
bool FullUpdate(const TestServer& server, const std::string& root, const UpdateRun& run,
                const Manifest& manifest, uint64_t clientBytes, size_t fileCount, double& updateSeconds)
{
    const std::string out = root + "pub/", install = root + "install/", download = root + "download/";
    fs::create_directories(install);
    fs::create_directories(download);
    UpdateContext context(LauncherFiles());
    context.DownloadFolder = Utf8ToWide(download.c_str());
    PackageProgress& progress = context.Progress;
    PackageJob job;
    job.BaseUrl = xString(("http://127.0.0.1:" + std::to_string(server.Port) + "/pub/").c_str());
    job.PackageName = xString((std::string("Startup") + Version + ".pkg").c_str());
    job.ManifestName = xString(run.Manifest.c_str());
    job.PublishFolder = Utf8ToWide(install.c_str());
    job.LocalMode = false;
    const uint64_t packageBytes = fs::file_size(out + "Startup" + Version + ".pkg");

    const long rssBefore = StatusKiB("VmRSS:"), hwmBefore = StatusKiB("VmHWM:");
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const long maxRssBefore = usage.ru_maxrss;
    const bool hwmReset = ResetPeakRss();
    const double startReading = xPlatformTime::Seconds();
    progress.DownloadStartTime = startReading;
    progress.PackageUpdateState = PackageUpdateStarted;
    const auto start = std::chrono::steady_clock::now();
    const int result = PackageUpdateThread(context, job);
    updateSeconds = SecondsOf(start);
    const long hwmAfter = StatusKiB("VmHWM:");
    getrusage(RUSAGE_SELF, &usage);

    std::printf("\n2. Full update from the dev server on loopback, manifest %s (%s)\n", run.Manifest.c_str(),
                run.What);
    std::printf("  package %llu bytes (%.1f%% of the client), %zu files\n",
                static_cast<unsigned long long>(packageBytes),
                100.0 * double(packageBytes) / double(clientBytes), manifest.Entries.size());
    std::printf("  PackageUpdateThread: result %d, FullDownloadDone %d, PartialDownloadDone %d\n", result,
                progress.FullDownloadDone ? 1 : 0, progress.PartialDownloadDone ? 1 : 0);
    std::printf("  wall %.2f s (%.0f MB/s of client data): manifest %.3f s, package fetched and verified "
                "after %.2f s, files written in the remaining %.2f s\n",
                updateSeconds, MBps(clientBytes, updateSeconds), progress.CrcEndTime - progress.CrcStartTime,
                progress.DownloadEndTime - startReading,
                updateSeconds - (progress.DownloadEndTime - startReading));
    // With the reset, VmHWM (and ru_maxrss, which follows it) is the update's own peak.
    std::printf("  memory: before the update VmRSS %ld KiB, VmHWM %ld KiB, ru_maxrss %ld KiB; after it "
                "VmHWM %ld KiB, ru_maxrss %ld KiB; peak %s: +%ld KiB\n",
                rssBefore, hwmBefore, maxRssBefore, hwmAfter, usage.ru_maxrss,
                hwmReset ? "over VmRSS before (VmHWM reset just before)" : "over VmHWM before (no reset)",
                hwmAfter - (hwmReset ? rssBefore : hwmBefore));

    // The figure only counts for a correct update: every file as published, nothing
    // more but the launcher's verified state. The client itself matched the manifest in part 1.
    size_t installed = 0;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(install))
        installed += entry.is_regular_file() && entry.path().filename() != "Launcher.verified" ? 1 : 0;
    const size_t wrong = VerifyAll(install, manifest, Sums::Crc32cAndSha256);
    std::printf(
        "  check: %zu files in the publish folder, %zu of %zu not matching the client's size, CRC-32C and "
        "SHA-256\n",
        installed, wrong, manifest.Entries.size());
    return result == 0 && progress.FullDownloadDone && installed == fileCount && wrong == 0;
}

int Run(const std::string& level, bool verifyOnly, bool tiny)
{
    TestServer& server = GetTestServer(PeerKind::DevServer);
    if (!server.Available)
    {
        std::fprintf(stderr, "no dev server: %s\n", server.Problem.c_str());
        return 1;
    }
    // Everything lives in the served folder, which the server support removes at exit.
    const std::string root = WideToUtf8(server.Root).c_str();
    const std::string client = root + "client/", out = root + "pub/", install = root + "install/",
                      download = root + "download/";
    const std::string bin = WideToUtf8(GetModuleDirectory()).c_str();

    const int rounds = tiny ? 1 : 3;
    auto start = std::chrono::steady_clock::now();
    size_t fileCount = 0;
    const uint64_t clientBytes = GenerateClient(client, tiny, fileCount);
    if (clientBytes == 0)
        return std::fprintf(stderr, "cannot write the client in %s\n", client.c_str()), 1;
    std::printf("client: %zu files, %llu bytes, written in %.1f s\n", fileCount,
                static_cast<unsigned long long>(clientBytes), SecondsOf(start));

    if (verifyOnly)
    {
        Manifest sums;
        if (!SumClient(client, sums) || sums.Entries.size() != fileCount)
            return std::fprintf(stderr, "cannot sum the files of %s\n", client.c_str()), 1;
        return VerifyBesideCat(client, sums, clientBytes, rounds) ? 0 : 1;
    }

    start = std::chrono::steady_clock::now();
    const std::string publish = "'" + bin + "publish' client --source '" + client + "' --version " + Version +
                                " --out '" + out + "' --xx" + (level.empty() ? "" : " --level " + level);
    if (Shell(publish) != 0)
        return std::fprintf(stderr, "publish failed: %s\n", publish.c_str()), 1;
    const double publishSeconds = SecondsOf(start);
    // The dev server is not waited for yet, so the children's peak is the publisher's.
    rusage children{};
    getrusage(RUSAGE_CHILDREN, &children);
    std::printf("publish (--xx, level %s): %.1f s (%.1f MB/s of client data), peak memory %ld KiB\n",
                level.empty() ? "default" : level.c_str(), publishSeconds, MBps(clientBytes, publishSeconds),
                children.ru_maxrss);

    std::ifstream manifestFile(out + "Startup" + Version + ".crc", std::ios::binary);
    const std::vector<uint8_t> container{std::istreambuf_iterator<char>(manifestFile),
                                         std::istreambuf_iterator<char>()};
    Manifest manifest;
    if (!ReadManifestContainer(container, manifest) || manifest.Entries.size() != fileCount)
        return std::fprintf(stderr, "the published manifest cannot be read or misses files\n"), 1;

    if (!VerifyBesideCat(client, manifest, clientBytes, rounds))
        return 1;

    // 2. The full way into an empty publish folder: first under the manifest
    // without its SHA-256 sums (what the check cost before them), then under
    // the published one.
    Manifest older = manifest;
    older.Package.Sha256Present = false;
    for (ManifestEntry& entry : older.Entries)
        entry.Sha256Present = false;
    const std::string olderXml = WriteManifestXml(older);
    std::vector<uint8_t> olderContainer;
    if (!EncodeLzma86(reinterpret_cast<const uint8_t*>(olderXml.data()), olderXml.size(), false,
                      olderContainer) ||
        !std::ofstream(out + OlderManifest(), std::ios::binary)
             .write(reinterpret_cast<const char*>(olderContainer.data()),
                    static_cast<std::streamsize>(olderContainer.size())))
        return std::fprintf(stderr, "cannot write the manifest without SHA-256\n"), 1;
    const UpdateRun runs[] = {{"32-bit sums only, as before SHA-256", OlderManifest()},
                              {"32-bit sums and SHA-256", "Startup" + std::string(Version) + ".crc"}};
    double seconds[2] = {};
    for (int run = 0; run < 2; ++run)
    {
        fs::remove_all(install);
        fs::remove_all(download);
        if (!FullUpdate(server, root, runs[run], manifest, clientBytes, fileCount, seconds[run]))
            return 1;
    }
    std::printf("  full update with SHA-256 sums: %.2f s, with 32-bit sums only %.2f s: %.2fx the time\n",
                seconds[1], seconds[0], seconds[1] / seconds[0]);
    return 0;
}
} // namespace

int main(int argc, char** argv)
{
    bool verifyOnly = false, tiny = false, usage = false;
    std::string level;
    for (int i = 1; i < argc; ++i)
    {
        const std::string option = argv[i];
        if (option == "--verify-only")
            verifyOnly = true;
        else if (option == "--tiny")
            tiny = true;
        else if (option == "--level" && i + 1 < argc)
            level = argv[++i];
        else
            usage = true;
    }
    if (usage || (verifyOnly && !level.empty()))
        return std::fprintf(stderr, "usage: PackageUpdateBench [--level N | --verify-only] [--tiny]\n"), 2;
    int status = 1;
    try
    {
        status = Run(level, verifyOnly, tiny);
    }
    catch (const std::exception& error) // a full /tmp, say: still end the server and remove the data
    {
        std::fprintf(stderr, "%s\n", error.what());
    }
    std::printf(status == 0 ? "\nPackageUpdateBench: done\n" : "\nPackageUpdateBench: FAILED\n");
    return status;
}
