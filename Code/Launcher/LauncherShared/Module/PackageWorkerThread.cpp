#include "PackageWorkerThread.h"

#include "xLogLine.h"
#include "xPlatformTime.h"

#include <system_error>
#include <thread>

namespace
{
bool SameJob(const PackageJob& a, const PackageJob& b)
{
    return a.BaseUrl == b.BaseUrl && a.PackageName == b.PackageName && a.ManifestName == b.ManifestName &&
           a.PublishFolder == b.PublishFolder && a.LocalMode == b.LocalMode;
}

bool SameRequest(const PackageUpdateRequest& a, const PackageUpdateRequest& b)
{
    return a.Asked == b.Asked && SameJob(a.Job, b.Job);
}

void MarkStarted(PackageProgress& progress)
{
    progress.DownloadStartTime = xPlatformTime::Seconds();
    progress.PackageFailureReason = PackageFailureNone;
    progress.PackageUpdateState = PackageUpdateStarted;
}
} // namespace

PackageWorkerThread::PackageWorkerThread(UpdateContext& context) : m_Context(context) {}

PackageWorkerThread::Outcome PackageWorkerThread::Run(const PackageJob& job)
{
    PackageUpdateRequest request;
    request.Job = job;
    request.Asked = job.PackageName;
    return Run(request);
}

PackageWorkerThread::Outcome PackageWorkerThread::Run(const PackageUpdateRequest& request)
{
    std::lock_guard<std::mutex> guard(m_Lock);
    if (m_Held)
    {
        m_Next = request;
        return Outcome::Queued;
    }
    if (m_Busy)
    {
        // One that has already given up (its thread has not ended yet) is no
        // reason to drop the request: it runs again.
        if (SameRequest(request, m_Current) && !m_Next &&
            m_Context.Progress.PackageUpdateState != PackageUpdateFailed)
            return Outcome::AlreadyRunning;
        m_Next = request;
        LogLine("Package update of %s waits for the running one", request.Asked.c_str());
        return Outcome::Queued;
    }
    m_Current = request;
    return StartLocked();
}

PackageWorkerThread::Outcome PackageWorkerThread::StartLocked()
{
    MarkStarted(m_Context.Progress);
    try
    {
        std::thread(&PackageWorkerThread::Loop, this).detach();
    }
    catch (const std::system_error&)
    {
        LogErrorLine("Package update failed: no thread could be created");
        m_Context.Progress.PackageUpdateState = PackageUpdateFailed;
        return Outcome::Failed;
    }
    m_Busy = true;
    return Outcome::Started;
}

void PackageWorkerThread::Hold()
{
    std::lock_guard<std::mutex> guard(m_Lock);
    m_Held = true;
}

void PackageWorkerThread::Release()
{
    std::lock_guard<std::mutex> guard(m_Lock);
    m_Held = false;
    if (m_Busy || !m_Next)
        return;
    m_Current = *m_Next;
    m_Next.reset();
    StartLocked();
}

int PackageWorkerThread::RunRequest(const PackageUpdateRequest& request)
{
    PackageJob job = request.Job;
    if (request.Prepare && !request.Prepare(job))
    {
        m_Context.Progress.PackageUpdateState = PackageUpdateFailed;
        return -1;
    }
    // The update's own time starts now, not while its version was asked for.
    m_Context.Progress.DownloadStartTime = xPlatformTime::Seconds();
    if (request.OnBegin)
        request.OnBegin();
    return PackageUpdateThread(m_Context, job);
}

void PackageWorkerThread::Loop()
{
    std::unique_lock<std::mutex> guard(m_Lock);
    for (;;)
    {
        const PackageUpdateRequest request = m_Current;
        guard.unlock();
        const int result = RunRequest(request);
        guard.lock();
        m_LastResult = result;
        if (!m_Next)
            break;
        m_Current = *m_Next;
        m_Next.reset();
        MarkStarted(m_Context.Progress);
    }
    m_Busy = false;
    m_Idle.notify_all();
}

bool PackageWorkerThread::IsBusy()
{
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_Busy;
}

bool PackageWorkerThread::WaitUntilIdle(std::chrono::milliseconds timeout)
{
    std::unique_lock<std::mutex> guard(m_Lock);
    return m_Idle.wait_for(guard, timeout, [this] { return !m_Busy; });
}

int PackageWorkerThread::LastResult()
{
    std::lock_guard<std::mutex> guard(m_Lock);
    return m_LastResult;
}
