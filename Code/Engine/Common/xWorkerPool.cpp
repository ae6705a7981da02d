#include "xWorkerPool.h"

#include "xBackgroundWork.h"
#include "xEvent.h"
#include "xRunnable.h"
#include "xTask.h"
#include "xThread.h"

#include <algorithm>

class xWorkerPool::Worker : public xRunnable
{
public:
    Worker(xWorkerPool& pool, xEvent& wake) : Pool(pool), Wake(wake) {}

    // Never returns: the worker serves the pool for the life of the process.
    int Run() override
    {
        for (;;)
        {
            while (xTask* task = Pool.TakeNext())
            {
                task->Execute();
                Pool.Completion.AddCompleted(task);
            }
            // An Enqueue between the empty queue and this wait leaves the event
            // set, so no wake-up is lost.
            Wake.Wait(xEvent::WaitForever);
        }
    }

private:
    xWorkerPool& Pool;
    xEvent& Wake;
};

xWorkerPool::xWorkerPool(const char16_t* name, xBackgroundWork& completion)
    : Name(name != nullptr ? name : u""), Completion(completion)
{
    for (size_t index = 0; index < WorkerCount; ++index)
    {
        WakeEvents.push_back(std::make_unique<xEvent>());
        Runnables.push_back(std::make_unique<Worker>(*this, *WakeEvents.back()));
        auto thread = std::make_unique<xThread>();
        if (!thread->Start(Runnables.back().get(), Name.c_str(), 0, ThreadPriorityNormal))
            thread.reset();
        Threads.push_back(std::move(thread));
    }
}

void xWorkerPool::Enqueue(xTask* task)
{
    {
        xScopeLock lock(QueueLock);
        Queue.push_back({task, 0, NextSequence++});
        if (Queue.size() > 1)
        {
            // Higher priority values first and, among equals, newer entries first:
            // the worker takes from the end, so the lowest value and oldest entry
            // run first.
            std::sort(Queue.begin(), Queue.end(),
                      [](const QueuedTask& left, const QueuedTask& right)
                      {
                          if (left.Priority != right.Priority)
                              return left.Priority > right.Priority;
                          return left.Sequence > right.Sequence;
                      });
        }
    }
    for (const std::unique_ptr<xEvent>& wake : WakeEvents)
        wake->Set();
}

xTask* xWorkerPool::TakeNext()
{
    xScopeLock lock(QueueLock);
    if (Queue.empty())
        return nullptr;
    xTask* task = Queue.back().Task;
    Queue.pop_back();
    return task;
}
