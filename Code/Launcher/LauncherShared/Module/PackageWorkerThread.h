#pragma once

#include "PackageWorker.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>

// An update asked for, whose version may not be known yet: then Prepare learns
// it on the worker's thread, before anything else, and names the package and
// manifest in the job. Asking the server may take minutes when it is silent,
// and that must never be the window thread's wait.
struct PackageUpdateRequest
{
    PackageJob Job;
    // What the request asks for, telling a repeated request from another one
    // before its version is known (e.g. the version, or the server id).
    xString Asked;
    // False: no update for this request (it has logged why); the state ends
    // Failed unless another request waits. Null: the job names its files.
    std::function<bool(PackageJob&)> Prepare;
    // Run on the worker's thread when the update begins, after Prepare.
    std::function<void()> OnBegin;
};

// The one thread that runs package updates. Two workers never touch the same
// files: while an update runs, a request for another version is kept and run
// right after it (a newer request replaces a kept one), and a request for the
// version being fetched is dropped, unless that update has already failed.
class PackageWorkerThread
{
public:
    // Runs every update with `context`, which outlives the worker.
    explicit PackageWorkerThread(UpdateContext& context);

    enum class Outcome
    {
        Started,
        Queued,
        AlreadyRunning,
        Failed, // no thread could be created (the state is Failed)
    };

    // Starts the update of `job`, or keeps it for when the running one ends.
    // Marks the update Started (the context's DownloadStartTime,
    // PackageUpdateState) when it begins.
    Outcome Run(const PackageUpdateRequest& request);
    Outcome Run(const PackageJob& job);

    // While held, requests are kept (the newest wins) and nothing starts: the
    // start-up holds the worker until it knows this process stays (a launcher
    // that hands over to its installed copy never writes a client).
    void Hold();
    // Starts the kept request, if any.
    void Release();

    bool IsBusy();
    // True when no update runs or waits any more; false when `timeout` passed.
    bool WaitUntilIdle(std::chrono::milliseconds timeout);
    // The exit code of the last update that ended (0 before any).
    int LastResult();

private:
    // Starts a thread on m_Current; the lock is held.
    Outcome StartLocked();
    void Loop();
    // Prepares and runs one request: the thread's exit code.
    int RunRequest(const PackageUpdateRequest& request);

    UpdateContext& m_Context;
    std::mutex m_Lock;
    std::condition_variable m_Idle;
    bool m_Busy = false;
    bool m_Held = false;
    PackageUpdateRequest m_Current;
    std::optional<PackageUpdateRequest> m_Next;
    int m_LastResult = 0;
};
