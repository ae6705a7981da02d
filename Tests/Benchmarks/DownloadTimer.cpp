// DownloadFile of one file that nginx serves, timed from inside the process, so
// that under wine64 Wine's start-up stays out of the figure. Built natively and
// for Windows; scripts/bench-download.sh sets each run beside native curl -o of
// the same file. The server is named as for the download tests
// (LAUNCHER_TEST_NGINX and LAUNCHER_TEST_NGINX_ROOT); the file must already be
// served. One line per run: "seconds S".
//   DownloadTimer NAME [ITERATIONS]
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
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2)
    {
        std::fprintf(stderr, "usage: DownloadTimer NAME [ITERATIONS]\n");
        return 2;
    }
    const std::string name = argv[1];
    const int iterations = argc > 2 ? std::max(1, std::atoi(argv[2])) : 1;
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
    const xWString folder = nginx.Root + u"download-timer-out/";
    files.CreateDirectories(folder);
    UpdateContext context(files);
    context.DownloadFolder = folder;
    const xWString out = folder + Utf8ToWide(name.c_str());
    const std::string url = nginx.BaseUrl() + name;
    // The launcher opens its download session once for all transfers: opening
    // it (WinINet's start-up under Wine) is no part of a download's time.
    DownloadSession();
    for (int i = 0; i < iterations; ++i)
    {
        std::atomic<uint64_t> received{0};
        const auto start = std::chrono::steady_clock::now();
        DownloadFile(context, xString(url.c_str()), &received);
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        if (files.GetFileSize(out) != size || received.load() != static_cast<uint64_t>(size))
        {
            std::fprintf(stderr, "the download did not complete\n");
            return 1;
        }
        files.DeleteFile(out);
        std::printf("seconds %.4f\n", seconds);
        std::fflush(stdout);
    }
    files.DeleteDirectory(folder);
    return 0;
}
