#pragma once

#include "xCriticalSection.h"

#include <cstddef>
#include <vector>

class xEngineContext;
class xTask;
class xWorkerPool;

// The engine's background work: a few worker pool slots, of which only the
// "BkgDownload" pool in slot 1 is used, and the list of tasks that have executed
// and wait for the main thread.
//
// Lives until the process ends (the pools' workers hold on to it), so the
// destructor is deleted.
class xBackgroundWork
{
public:
    static constexpr size_t PoolCount = 4;
    static constexpr size_t DownloadPoolSlot = 1;
    static constexpr const char16_t* DownloadPoolName = u"BkgDownload";

    // Creates the "BkgDownload" pool; the other slots stay empty.
    xBackgroundWork();
    ~xBackgroundWork() = delete;
    xBackgroundWork(const xBackgroundWork&) = delete;
    xBackgroundWork& operator=(const xBackgroundWork&) = delete;

    // The context's record, created first if the context has none yet.
    static xBackgroundWork* EnsureCreated(xEngineContext& context);

    // Null for an empty or unknown slot.
    xWorkerPool* GetPool(size_t slot) const { return slot < PoolCount ? Pools[slot] : nullptr; }

    // Worker side: `task` has executed.
    void AddCompleted(xTask* task);

    // Main thread: calls OnComplete of every completed task, oldest first, and
    // forgets them. Tasks are not deleted; OnComplete may do that.
    void DispatchCompleted();

private:
    xWorkerPool* Pools[PoolCount] = {};
    std::vector<xTask*> Completed;
    xCriticalSection CompletedLock;
};
