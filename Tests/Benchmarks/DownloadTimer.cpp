// The Windows build's DownloadFile (WinINet) timed from inside the process, for
// running under wine64 against a native nginx: Wine's start-up stays out of the
// figure, so scripts/bench-download.sh can set it beside native curl -o of the
// same file. The servers are named as for the Windows tests (LAUNCHER_TEST_NGINX
// and LAUNCHER_TEST_NGINX_ROOT); the file must already be served.
//   WindowsDownloadBench.exe NAME [ITERATIONS]
#include "LauncherDownload.h"
#include "LauncherDownloadServers.h"

#include "xEngineFileSystem.h"
#include "xTextConversion.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: WindowsDownloadBench NAME [ITERATIONS]\n");
        return 2;
    }
    const std::string name = argv[1];
    const int iterations = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
    TestServer& nginx = GetTestServer(PeerKind::Nginx);
    if (!nginx.Available)
    {
        std::fprintf(stderr, "%s\n", nginx.Problem.c_str());
        return 2;
    }
    xEngineFileSystem files;
    const int64_t size = files.GetFileSize(nginx.Root + Utf8ToWide(name.c_str()));
    if (size <= 0)
    {
        std::fprintf(stderr, "%s is not served from the nginx root\n", name.c_str());
        return 2;
    }
    const xWString folder = nginx.Root + u"bench-out-windows/";
    files.CreateDirectories(folder);
    SetDownloadFolder(folder);
    const xWString out = folder + Utf8ToWide(name.c_str());
    const std::string url = nginx.BaseUrl() + name;
    double best = 0;
    for (int i = 0; i < iterations; ++i)
    {
        std::atomic<uint64_t> received{0};
        const auto start = std::chrono::steady_clock::now();
        DownloadFile(xString(url.c_str()), &received);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (files.GetFileSize(out) != size || received.load() != static_cast<uint64_t>(size))
        {
            std::fprintf(stderr, "the download did not complete\n");
            return 1;
        }
        files.DeleteFile(out);
        const double rate = static_cast<double>(size) / 1e6 / seconds;
        best = std::max(best, rate);
        std::printf("DownloadFile %.0f ms %.1f MB/s\n", seconds * 1000, rate);
    }
    std::printf("best %.1f MB/s\n", best);
    files.DeleteDirectory(folder);
    return 0;
}
