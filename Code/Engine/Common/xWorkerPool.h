#pragma once

#include "xCriticalSection.h"
#include "xString.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

class xBackgroundWork;
class xEvent;
class xTask;
class xThread;

// Tasks queued from any thread and executed one after another, first in first
// out, on the pool's worker thread; each executed task then goes to the
// completed list of an xBackgroundWork for the main thread.
//
// A pool lives until the process ends: its worker loops for ever and holds on to
// the pool, so the destructor is deleted and pools are made with new.
class xWorkerPool
{
public:
    static constexpr size_t WorkerCount = 1;

    // Starts the worker. Executed tasks go to `completion`, which must live as
    // long as the pool.
    xWorkerPool(const char16_t* name, xBackgroundWork& completion);
    ~xWorkerPool() = delete;
    xWorkerPool(const xWorkerPool&) = delete;
    xWorkerPool& operator=(const xWorkerPool&) = delete;

    // Queues `task` and wakes the workers. The pool holds the pointer until the
    // task has completed and never deletes it. A pool whose worker failed to start
    // keeps its tasks and never runs them.
    void Enqueue(xTask* task);

    const xWString& GetName() const { return Name; }
    bool IsWorkerRunning(size_t index) const { return index < Threads.size() && Threads[index] != nullptr; }

private:
    class Worker;

    struct QueuedTask
    {
        xTask* Task;
        // Lower values run first; every task so far is queued with 0.
        uint32_t Priority;
        uint32_t Sequence;
    };

    // The entry at the end of the queue, removed; null when the queue is empty.
    xTask* TakeNext();

    // One element per worker in each; a worker that did not start keeps a null thread.
    std::vector<std::unique_ptr<Worker>> Runnables;
    std::vector<std::unique_ptr<xThread>> Threads;
    std::vector<std::unique_ptr<xEvent>> WakeEvents;

    // Kept sorted so that the entry to run next is the last one.
    std::vector<QueuedTask> Queue;
    xCriticalSection QueueLock;
    uint32_t NextSequence = 0;
    xWString Name;
    xBackgroundWork& Completion;
};
