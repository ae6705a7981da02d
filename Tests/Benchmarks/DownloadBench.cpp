// DownloadFile of a 512 MiB file from nginx on loopback, beside the curl
// command line fetching the same file: what the read pieces, the seek before
// every write and the transport cost against a client tuned for speed. Native
// only; nginx is started the way the download tests start it.
// scripts/bench-download.sh times DownloadTimer, natively and under wine64,
// run by run beside curl -o.
#include "LauncherDownload.h"
#include "LauncherDownloadServers.h"

#include "xEngineFileSystem.h"
#include "xTextConversion.h"

#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace
{
constexpr int64_t FileSize = int64_t(512) << 20;
const char* const FileName = "bench-512m.bin";

struct Setup
{
    bool Ready = false;
    std::string Url;
    xWString OutFolder;
};

const Setup& Prepare()
{
    static const Setup setup = []
    {
        Setup result;
        TestServer& nginx = GetTestServer(PeerKind::Nginx);
        if (!nginx.Available)
            return result;
        xEngineFileSystem files;
        const xWString served = nginx.Root + Utf8ToWide(FileName);
        std::unique_ptr<xFile> file = files.OpenWrite(served, false, true);
        std::vector<uint8_t> chunk(1 << 20);
        for (size_t i = 0; i < chunk.size(); ++i)
            chunk[i] = static_cast<uint8_t>(i * 131 + 7);
        for (int64_t written = 0; file && written < FileSize; written += int64_t(chunk.size()))
        {
            if (!file->Write(chunk.data(), int64_t(chunk.size())))
                return result;
        }
        if (!file)
            return result;
        file.reset();
        result.OutFolder = nginx.Root + u"bench-out/";
        files.CreateDirectories(result.OutFolder);
        result.Url = nginx.BaseUrl() + FileName;
        result.Ready = true;
        return result;
    }();
    return setup;
}

void DownloadFileFromNginx(benchmark::State& state)
{
    const Setup& setup = Prepare();
    if (!setup.Ready)
    {
        state.SkipWithError("nginx or the served file is not available");
        return;
    }
    xEngineFileSystem files;
    UpdateContext context(files);
    context.DownloadFolder = setup.OutFolder;
    const xWString out = setup.OutFolder + Utf8ToWide(FileName);
    for (auto _ : state)
    {
        std::atomic<uint64_t> received{0};
        DownloadFile(context, xString(setup.Url.c_str()), &received);
        if (files.GetFileSize(out) != FileSize)
        {
            state.SkipWithError("the download did not complete");
            break;
        }
        state.PauseTiming();
        files.DeleteFile(out);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * FileSize);
}

void CurlCommandFromNginx(benchmark::State& state)
{
    const Setup& setup = Prepare();
    if (!setup.Ready)
    {
        state.SkipWithError("nginx or the served file is not available");
        return;
    }
    const std::string out = std::string(WideToUtf8(setup.OutFolder).c_str()) + "curl-" + FileName;
    const std::string command = "curl -s -o '" + out + "' '" + setup.Url + "'";
    for (auto _ : state)
    {
        if (std::system(command.c_str()) != 0)
        {
            state.SkipWithError("curl failed");
            break;
        }
        state.PauseTiming();
        std::remove(out.c_str());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * FileSize);
}
} // namespace

BENCHMARK(DownloadFileFromNginx)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(CurlCommandFromNginx)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
