#include "xBackgroundWork.h"

#include "xEngineContext.h"
#include "xTask.h"
#include "xWorkerPool.h"

xBackgroundWork::xBackgroundWork()
{
    Pools[DownloadPoolSlot] = new xWorkerPool(DownloadPoolName, *this);
}

xBackgroundWork* xBackgroundWork::EnsureCreated(xEngineContext& context)
{
    if (context.BackgroundWork == nullptr)
        context.BackgroundWork = new xBackgroundWork();
    return context.BackgroundWork;
}

void xBackgroundWork::AddCompleted(xTask* task)
{
    xScopeLock lock(CompletedLock);
    Completed.push_back(task);
}

void xBackgroundWork::DispatchCompleted()
{
    // Taken out under the lock and completed outside it: OnComplete may queue new
    // work or delete its task without the worker waiting on us meanwhile.
    std::vector<xTask*> completed;
    {
        xScopeLock lock(CompletedLock);
        completed.swap(Completed);
    }
    for (xTask* task : completed)
        task->OnComplete();
}
