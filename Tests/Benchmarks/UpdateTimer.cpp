// The client update's costs, timed from inside the process, so that under
// wine64 Wine's start-up stays out of the figures. Built natively and for
// Windows; scripts/bench-update.sh runs both on the same client, with and
// without the manifest's SHA-256 sums. MB = 10^6 bytes. Paths may be POSIX
// paths under Wine too (they are taken as drive Z:).
//   UpdateTimer hash MIB               SHA-256 of MIB MiB in memory: the system's
//                                      library (OpenSSL natively, CNG on Windows),
//                                      the launcher's, and the built-in hash with and
//                                      without the SHA instructions: "sha256 WHAT MB/s R"
//   UpdateTimer client DIR [--tiny]    writes the benchmark client (BenchClient.h)
//   UpdateTimer client DIR --files N   writes a client of N small files instead
//   UpdateTimer older IN OUT           writes manifest IN without its SHA-256 sums as OUT
//   UpdateTimer check MANIFEST DIR N   N timed up-to-date checks of DIR against the
//                                      manifest file after an untimed one:
//                                      "check seconds S bytes B wrong W" each
//   UpdateTimer update URL PACKAGE MANIFEST PUBLISH DOWNLOAD [--wait] [--verify]
//                                      one update from URL (a base ending in "/") into
//                                      the folders (empty: an install; an installed
//                                      client: the update thread's check):
//                                      "update seconds S result R"; --wait: see
//                                      WaitForGoAhead
#include "BuiltInSha256.h"
#include "LauncherDownload.h"
#include "LauncherDownloadServers.h"
#include "LauncherFiles.h"
#include "Lzma86.h"
#include "Manifest.h"
#include "PackageCheck.h"
#include "PackageProgress.h"
#include "PackageWorker.h"
#include "Sha256.h"
#include "SystemSha256.h"

#include "InternetSessions.h"

#include "xPath.h"
#include "xTextConversion.h"

#include "BenchClient.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace
{
using namespace BenchClient;

bool ReadWhole(const xWString& path, std::vector<uint8_t>& bytes)
{
    const int64_t size = LauncherFiles().GetFileSize(path);
    std::unique_ptr<xFile> file = size < 0 ? nullptr : LauncherFiles().OpenReadPlain(path, true);
    bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
    return file && (bytes.empty() || file->Read(bytes.data(), size));
}

bool WriteWhole(const xWString& path, const std::vector<uint8_t>& bytes)
{
    std::unique_ptr<xFile> file = LauncherFiles().OpenWrite(path, false, false);
    return file && file->Write(bytes.data(), static_cast<int64_t>(bytes.size())) && file->Close();
}

bool LoadManifest(const xWString& path, Manifest& manifest)
{
    std::vector<uint8_t> container;
    return ReadWhole(path, container) && ReadManifestContainer(container, manifest);
}

// The best of three runs, as a rate.
void Rate(const char* what, const std::vector<uint8_t>& buffer, const std::function<bool()>& hash)
{
    double best = 0;
    for (int run = 0; run < 3; ++run)
    {
        const auto start = std::chrono::steady_clock::now();
        if (!hash())
        {
            std::printf("sha256 %s failed\n", what);
            return;
        }
        const double seconds = SecondsOf(start);
        best = run == 0 || seconds < best ? seconds : best;
    }
    std::printf("sha256 %s MB/s %.0f\n", what, MBps(buffer.size(), best));
}

int Hash(size_t mebibytes)
{
    std::vector<uint8_t> buffer(mebibytes * MiB);
    Random random;
    for (uint8_t& byte : buffer)
        byte = static_cast<uint8_t>(random.Next());
    uint8_t digest[32];
    Rate("system", buffer, [&] { return SystemSha256(buffer.data(), buffer.size(), digest); });
    Rate("launcher", buffer, [&] { return Sha256::Of(buffer.data(), buffer.size()).has_value(); });
    const auto builtIn = [&](Sha256BlockFunction blocks)
    {
        BuiltInSha256 hash(blocks);
        hash.Update(buffer.data(), buffer.size());
        hash.Finish();
        return true;
    };
    if (HasShaInstructions())
        Rate("built-in SHA-NI", buffer, [&] { return builtIn(Sha256BlocksHardware); });
    Rate("built-in plain", buffer, [&] { return builtIn(Sha256BlocksSoftware); });
    return 0;
}

int Older(const xWString& in, const xWString& out)
{
    Manifest manifest;
    if (!LoadManifest(in, manifest))
        return std::fprintf(stderr, "cannot read the manifest\n"), 1;
    manifest.Package.Sha256Present = false;
    for (ManifestEntry& entry : manifest.Entries)
        entry.Sha256Present = false;
    const std::string xml = WriteManifestXml(manifest);
    std::vector<uint8_t> container;
    if (!EncodeLzma86(reinterpret_cast<const uint8_t*>(xml.data()), xml.size(), false, container) ||
        !WriteWhole(out, container))
        return std::fprintf(stderr, "cannot write the manifest\n"), 1;
    return 0;
}

int Check(const xWString& manifestPath, const xWString& folder, int rounds)
{
    Manifest manifest;
    if (!LoadManifest(manifestPath, manifest))
        return std::fprintf(stderr, "cannot read the manifest\n"), 1;
    uint64_t bytes = 0;
    for (const ManifestEntry& entry : manifest.Entries)
        bytes += entry.OrigSize;
    // The first round warms the cache and is not shown.
    for (int round = 0; round <= rounds; ++round)
    {
        size_t wrong = 0;
        const auto start = std::chrono::steady_clock::now();
        for (const ManifestEntry& entry : manifest.Entries)
            wrong += VerifyFile(LauncherFiles(), folder + entry.Name, ExpectedOf(entry)) ? 0 : 1;
        const double seconds = SecondsOf(start);
        if (round > 0)
            std::printf("check seconds %.4f bytes %llu wrong %zu\n", seconds,
                        static_cast<unsigned long long>(bytes), wrong);
        std::fflush(stdout);
        if (wrong != 0)
            return 1;
    }
    return 0;
}

// With --wait: stops before and after the update thread, saying "update waits"
// and reading a line, so that the script may read what the process has read
// meanwhile (rchar of /proc/PID/io; under Wine the one of the wine process, which
// its own /proc/self would not show: the wineserver opens files).
void WaitForGoAhead(bool wait)
{
    if (!wait)
        return;
    std::printf("update waits\n");
    std::fflush(stdout);
    char line[16];
    if (std::fgets(line, sizeof line, stdin) == nullptr)
        std::fprintf(stderr, "no go-ahead on stdin\n");
}

int Update(char** arguments, bool wait, bool verify)
{
    PackageJob job;
    // --verify: every file read, as the launcher's verify option asks.
    job.FullCheck = verify ? FullCheckCause::Asked : FullCheckCause::None;
    job.BaseUrl = arguments[0];
    job.PackageName = arguments[1];
    job.ManifestName = arguments[2];
    job.PublishFolder = AsDirectoryPath(LocalPathFromEnvironment(arguments[3]));
    UpdateContext context(LauncherFiles());
    context.DownloadFolder = AsDirectoryPath(LocalPathFromEnvironment(arguments[4]));
    // The launcher opens its download session once: WinINet's start-up is no part of an update.
    DownloadSession();
    WaitForGoAhead(wait);
    const auto start = std::chrono::steady_clock::now();
    const int result = PackageUpdateThread(context, job);
    const double seconds = SecondsOf(start);
    WaitForGoAhead(wait);
    std::printf("update seconds %.4f result %d\n", seconds, result);
    return result == 0 ? 0 : 1;
}
} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "hash" && argc == 3)
        return Hash(static_cast<size_t>(std::max(1, std::atoi(argv[2]))));
    if (command == "client" && argc >= 3)
    {
        size_t count = 0;
        const std::string option = argc > 3 ? argv[3] : "";
        const int files = option == "--files" && argc > 4 ? std::atoi(argv[4]) : 0;
        const uint64_t bytes = Generate(
            argv[2], files > 0 ? SmallFileGroups(files) : UpdateClientGroups(option == "--tiny"), count);
        std::printf("client files %zu bytes %llu\n", count, static_cast<unsigned long long>(bytes));
        return bytes > 0 ? 0 : 1;
    }
    if (command == "older" && argc == 4)
        return Older(LocalPathFromEnvironment(argv[2]), LocalPathFromEnvironment(argv[3]));
    if (command == "check" && argc == 5)
        return Check(LocalPathFromEnvironment(argv[2]), AsDirectoryPath(LocalPathFromEnvironment(argv[3])),
                     std::max(1, std::atoi(argv[4])));
    if (command == "update" && argc >= 7)
    {
        bool wait = false, verify = false, known = true;
        for (int i = 7; i < argc; ++i)
        {
            const std::string option = argv[i];
            wait |= option == "--wait";
            verify |= option == "--verify";
            known &= option == "--wait" || option == "--verify";
        }
        if (known)
            return Update(argv + 2, wait, verify);
    }
    std::fprintf(stderr, "usage: UpdateTimer hash MIB | client DIR [--tiny | --files N] | older IN OUT | "
                         "check MANIFEST DIR N | "
                         "update URL PACKAGE MANIFEST PUBLISH DOWNLOAD [--wait] [--verify]\n");
    return 2;
}
