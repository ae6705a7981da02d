#include "xBackgroundWork.h"
#include "xEngineContext.h"
#include "xEvent.h"
#include "xTask.h"
#include "xWorkerPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <initializer_list>
#include <mutex>
#include <thread>
#include <vector>

// Pools and their records live for the process, as in the launcher: each test
// makes its own and leaves it behind with its idle worker.

namespace
{
// A safety bound only: every wait below is normally over at once.
constexpr uint32_t Bound = 60000;

// The order of Execute and OnComplete calls over a group of tasks.
struct Journal
{
    std::mutex Mutex;
    std::vector<int> Executed;
    std::vector<int> Completed;
    std::atomic<int> Running{0};
    std::atomic<int> MostRunning{0};
};

class ProbeTask : public xTask
{
public:
    ProbeTask(int id, Journal& journal) : Id(id), Log(journal) {}
    void Execute() override
    {
        const int running = Log.Running.fetch_add(1) + 1;
        if (running > Log.MostRunning.load())
            Log.MostRunning = running;
        ExecutedOn = std::this_thread::get_id();
        // Long enough for a second worker, were there one, to overlap.
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Note(Log.Executed);
        Log.Running.fetch_sub(1);
        Executed.Set();
    }
    void OnComplete() override
    {
        CompletedOn = std::this_thread::get_id();
        Note(Log.Completed);
    }
    void Note(std::vector<int>& list)
    {
        std::lock_guard<std::mutex> lock(Log.Mutex);
        list.push_back(Id);
    }

    int Id;
    Journal& Log;
    xEvent Executed;
    std::thread::id ExecutedOn;
    std::thread::id CompletedOn;
};

// Holds the worker inside Execute until released.
class GateTask : public xTask
{
public:
    void Execute() override
    {
        Started.Set();
        Release.Wait();
    }
    xEvent Started;
    xEvent Release;
};
} // namespace

TEST(xBackgroundWork, TasksRunInQueueOrderOneAtATimeAndCompleteOnlyInDispatch)
{
    xEngineContext context;
    xBackgroundWork* work = xBackgroundWork::EnsureCreated(context);
    ASSERT_EQ(work, xBackgroundWork::EnsureCreated(context)) << "a second set-up replaced the record";
    EXPECT_EQ(nullptr, work->GetPool(0));
    xWorkerPool* pool = work->GetPool(xBackgroundWork::DownloadPoolSlot);
    ASSERT_TRUE(pool != nullptr && pool->IsWorkerRunning(0));
    EXPECT_TRUE(pool->GetName() == u"BkgDownload");
    GateTask gate, lastGate;
    pool->Enqueue(&gate);
    ASSERT_TRUE(gate.Started.Wait(Bound));

    // Queued together while the worker is busy, so the queue's order decides.
    Journal journal;
    ProbeTask first(1, journal), second(2, journal), third(3, journal);
    for (xTask* task : std::initializer_list<xTask*>{&first, &second, &third, &lastGate})
        pool->Enqueue(task);
    gate.Release.Set();
    // The worker files a task as completed before it takes the next one, so the
    // probes wait in the completed list once the last gate runs.
    ASSERT_TRUE(lastGate.Started.Wait(Bound));
    EXPECT_EQ((std::vector<int>{1, 2, 3}), journal.Executed) << "not first in, first out";
    EXPECT_EQ(1, journal.MostRunning.load()) << "tasks overlapped";
    EXPECT_TRUE(journal.Completed.empty()) << "OnComplete ran before DispatchCompleted";

    work->DispatchCompleted();
    EXPECT_EQ((std::vector<int>{1, 2, 3}), journal.Completed);
    EXPECT_EQ(std::this_thread::get_id(), first.CompletedOn)
        << "OnComplete belongs to the dispatching thread";
    EXPECT_NE(first.ExecutedOn, first.CompletedOn) << "Execute belongs to the worker";

    // Once a later task has run, the worker is done with the last gate.
    lastGate.Release.Set();
    Journal otherJournal;
    ProbeTask after(4, otherJournal);
    pool->Enqueue(&after);
    ASSERT_TRUE(after.Executed.Wait(Bound));
    work->DispatchCompleted();
    EXPECT_EQ((std::vector<int>{1, 2, 3}), journal.Completed) << "dispatched tasks were not forgotten";
}

TEST(xWorkerPool, TasksQueuedFromSeveralThreadsEachRunOnce)
{
    constexpr int Producers = 4;
    constexpr int PerProducer = 250;
    // Static, so that the local class can reach them.
    static std::atomic<int> total;
    static xEvent allDone;
    total = 0;
    class CountingTask : public xTask
    {
    public:
        void Execute() override
        {
            Runs.fetch_add(1);
            if (total.fetch_add(1) + 1 == Producers * PerProducer)
                allDone.Set();
        }
        std::atomic<int> Runs{0};
    };
    std::vector<CountingTask> tasks(Producers * PerProducer);

    xWorkerPool* pool = (new xBackgroundWork())->GetPool(xBackgroundWork::DownloadPoolSlot);
    ASSERT_NE(nullptr, pool);
    std::vector<std::thread> producers;
    for (int p = 0; p < Producers; ++p)
    {
        producers.emplace_back(
            [&, p]
            {
                for (int i = 0; i < PerProducer; ++i)
                    pool->Enqueue(&tasks[p * PerProducer + i]);
            });
    }
    for (std::thread& producer : producers)
        producer.join();

    ASSERT_TRUE(allDone.Wait(Bound));
    for (size_t index = 0; index < tasks.size(); ++index)
        ASSERT_EQ(1, tasks[index].Runs.load()) << "task " << index;
}
