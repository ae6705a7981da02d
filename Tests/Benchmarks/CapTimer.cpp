// The download cap's precision: THREADS transfers at once (each fetching a file
// nginx serves, again and again) under a cap of KIB KiB/s for SECONDS, timed
// from inside the process, so that under wine64 Wine's start-up stays out of
// the figure. Built natively and for Windows (the two transports). The server
// is named as for the download tests (LAUNCHER_TEST_NGINX and
// LAUNCHER_TEST_NGINX_ROOT); the file (64 MiB) is written into its root when
// missing. Prints the bytes per second over the whole time and over its last
// SECONDS - 1 (the first second holds the bucket's burst), against the cap.
//   CapTimer KIB [SECONDS] [THREADS]
#include "InternetSessions.h"
#include "LauncherDownload.h"
#include "LauncherDownloadServers.h"

#include "xEngineFileSystem.h"
#include "xTextConversion.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace
{
constexpr int64_t FileSize = 64 << 20;

bool ServeFile(xEngineFileSystem& files, const xWString& path)
{
    if (files.GetFileSize(path) == FileSize)
        return true;
    std::unique_ptr<xFile> file = files.OpenWrite(path, false, false);
    if (!file)
        return false;
    std::vector<char> block(1 << 20);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<char>(i * 131 + 7);
    bool ok = true;
    for (int64_t done = 0; done < FileSize && ok; done += int64_t(block.size()))
        ok = file->Write(block.data(), int64_t(block.size()));
    file->Close();
    return ok;
}

struct Transfers
{
    std::atomic<bool> Stop{false};
    // Bytes of the finished downloads, and each thread's download under way.
    std::atomic<uint64_t> Finished{0};
    std::vector<std::unique_ptr<std::atomic<uint64_t>>> Current;

    uint64_t Total() const
    {
        uint64_t total = Finished.load();
        for (const auto& current : Current)
            total += current->load();
        return total;
    }
};

void Fetch(const UpdateContext& context, const std::string& url, Transfers& transfers, size_t index)
{
    std::atomic<uint64_t>& received = *transfers.Current[index];
    while (!transfers.Stop.load())
    {
        DownloadFile(context, xString(url.c_str()), &received);
        transfers.Finished += received.exchange(0);
    }
}
} // namespace

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: CapTimer KIB [SECONDS] [THREADS]\n");
        return 2;
    }
    const uint64_t cap = uint64_t(std::max(1, std::atoi(argv[1]))) * 1024u;
    const double seconds = argc > 2 ? std::max(2, std::atoi(argv[2])) : 30;
    const size_t threads = argc > 3 ? size_t(std::max(1, std::atoi(argv[3]))) : 2;
    TestServer& nginx = GetTestServer(PeerKind::Nginx);
    if (!nginx.Available)
    {
        std::fprintf(stderr, "%s\n", nginx.Problem.c_str());
        return 2;
    }
    xEngineFileSystem files;
    if (!ServeFile(files, nginx.Root + u"cap-timer.bin"))
    {
        std::fprintf(stderr, "cannot write cap-timer.bin into the nginx root\n");
        return 2;
    }
    Transfers transfers;
    std::vector<std::thread> workers;
    std::vector<std::unique_ptr<UpdateContext>> contexts;
    DownloadSession();
    CapDownloads(cap);
    const auto start = std::chrono::steady_clock::now();
    for (size_t i = 0; i < threads; ++i)
    {
        const xWString folder = nginx.Root + Utf8ToWide(("cap-timer-out" + std::to_string(i) + "/").c_str());
        files.CreateDirectories(folder);
        contexts.push_back(std::make_unique<UpdateContext>(files));
        contexts.back()->DownloadFolder = folder;
        transfers.Current.push_back(std::make_unique<std::atomic<uint64_t>>(0));
    }
    for (size_t i = 0; i < threads; ++i)
        workers.emplace_back(Fetch, std::cref(*contexts[i]), nginx.BaseUrl() + "cap-timer.bin",
                             std::ref(transfers), i);
    std::this_thread::sleep_until(start + std::chrono::duration<double>(1.0));
    const uint64_t afterFirst = transfers.Total();
    std::this_thread::sleep_until(start + std::chrono::duration<double>(seconds));
    const uint64_t total = transfers.Total();
    transfers.Stop = true;
    // The transfers under way end at the cap's pace; lifting it lets them finish.
    CapDownloads(0);
    for (std::thread& worker : workers)
        worker.join();
    const double whole = double(total) / seconds;
    const double steady = double(total - afterFirst) / (seconds - 1.0);
    std::printf(
        "cap %llu B/s, %zu transfers, %.0f s: whole %.0f B/s (%+.2f %%), after the first second %.0f B/s "
        "(%+.2f %%)\n",
        static_cast<unsigned long long>(cap), threads, seconds, whole, (whole / double(cap) - 1.0) * 100.0,
        steady, (steady / double(cap) - 1.0) * 100.0);
    return 0;
}
