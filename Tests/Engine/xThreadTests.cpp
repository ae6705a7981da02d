#include "xCriticalSection.h"
#include "xEngineContext.h"
#include "xEvent.h"
#include "xLog.h"
#include "xRunnable.h"
#include "xThread.h"

#include "CapturedLog.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

// A broken Start or Stop(false) hangs rather than fails here; the test runner's
// time limit catches that.

namespace
{
// A safety bound only: every wait below is normally over at once.
constexpr uint32_t Bound = 60000;

struct SignalOnDestroy
{
    explicit SignalOnDestroy(xEvent& event) : Event(event) {}
    ~SignalOnDestroy() { Event.Set(); }
    xEvent& Event;
};

// Blocks until released (by its Stop, unless IgnoreStop), then lingers a moment
// so that a Stop(true) that did not wait would return before Exit.
class BlockingRunnable : public xRunnable
{
public:
    int Run() override
    {
        Seen = xThread::Current();
        Seen.load()->AdoptThreadLocal(std::make_shared<SignalOnDestroy>(Gone));
        Release.Wait();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return 0;
    }
    void Stop() override
    {
        if (!IgnoreStop)
            Release.Set();
    }
    void Exit() override { Exited = true; }

    bool IgnoreStop = false;
    xEvent Release;
    // Set when the thread-local objects die: the thread is then done with its xThread.
    xEvent Gone;
    std::atomic<bool> Exited{false};
    std::atomic<xThread*> Seen{nullptr};
};

} // namespace

TEST(xEvent, AutoResetsTimesOutAndLetsOneWaiterThroughPerSet)
{
    xEvent event;
    EXPECT_FALSE(event.Wait(30)) << "nobody set it: the wait times out";
    event.Set();
    EXPECT_TRUE(event.IsSet());
    EXPECT_TRUE(event.Wait(0));
    EXPECT_FALSE(event.IsSet() || event.Wait(0)) << "a successful wait clears the event";
    event.Set();
    event.Reset();
    EXPECT_FALSE(event.Wait(0)) << "Reset clears a set event";

    std::atomic<int> woken{0};
    xEvent woke;
    auto waiter = [&]
    {
        EXPECT_TRUE(event.Wait(Bound));
        woken.fetch_add(1);
        woke.Set();
    };
    std::thread first(waiter), second(waiter);
    event.Set();
    EXPECT_TRUE(woke.Wait(Bound));
    EXPECT_EQ(1, woken.load()) << "one Set released both waiters";
    event.Set();
    first.join();
    second.join();
}

TEST(xCriticalSection, ExcludesOtherThreadsAndLetsTheOwnerReenter)
{
    xCriticalSection section;
    long counter = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
    {
        threads.emplace_back(
            [&]
            {
                for (int i = 0; i < 20000; ++i)
                {
                    xScopeLock outer(section);
                    xScopeLock inner(section);
                    ++counter;
                }
            });
    }
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(80000, counter);
}

TEST(xThread, StartReportsAFailedInitAndNeverRuns)
{
    class FailingInit : public BlockingRunnable
    {
        bool Init() override { return false; }
    };
    FailingInit runnable;
    xThread thread;
    EXPECT_FALSE(thread.Start(&runnable, u"failing init"));
    EXPECT_EQ(nullptr, runnable.Seen.load()) << "Run ran after Init failed";
    EXPECT_FALSE(thread.Join()) << "nothing is left to wait for";
}

TEST(xThread, RunSeesItsThreadAndOnlyStopWithWaitWaitsForTheEnd)
{
    BlockingRunnable runnable;
    xThread thread;
    ASSERT_TRUE(thread.Start(&runnable, u"Worker with a long name"));
    EXPECT_EQ(nullptr, xThread::Current()) << "the test's own thread is no xThread";
    EXPECT_TRUE(thread.Stop(true));
    EXPECT_TRUE(runnable.Exited.load()) << "Stop(true) returned before the thread ended";
    EXPECT_TRUE(runnable.Gone.IsSet()) << "thread-local objects outlived Run";
    EXPECT_EQ(&thread, runnable.Seen.load());

    // Stop without waiting leaves the thread running.
    BlockingRunnable ignoring;
    ignoring.IgnoreStop = true;
    xThread left;
    ASSERT_TRUE(left.Start(&ignoring, u"left running"));
    EXPECT_TRUE(left.Stop(false));
    EXPECT_FALSE(ignoring.Exited.load());
    EXPECT_FALSE(left.Join()) << "Stop released the handle";
    ignoring.Release.Set();
    ASSERT_TRUE(ignoring.Gone.Wait(Bound));
}

TEST(xThread, NullNameIsTheDefaultAndDestructionLogsIt)
{
    CapturedLog log;
    {
        xRunnable runnable;
        xThread thread;
        EXPECT_TRUE(thread.Start(&runnable, nullptr));
        EXPECT_TRUE(thread.GetName() == u"WispThread NoName");
        thread.Join();
    }
    EXPECT_EQ(std::vector<std::string>{"Thread WispThread NoName quits"}, log.Messages());
}
