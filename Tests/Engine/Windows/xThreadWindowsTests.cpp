#include "xEvent.h"
#include "xRunnable.h"
#include "xThread.h"

#include <gtest/gtest.h>

#include <windows.h>

namespace
{
// Runs until stopped.
class Waiting : public xRunnable
{
public:
    int Run() override
    {
        Release.Wait();
        return 0;
    }
    void Stop() override { Release.Set(); }
    xEvent Release;
};
} // namespace

TEST(xThread, PriorityReachesTheSystemOnlyWhenItChangesAndSuspendCounts)
{
    Waiting runnable;
    xThread thread;
    ASSERT_TRUE(thread.Start(&runnable, u"priority", 0, ThreadPriorityBelowNormal));
    HANDLE os = OpenThread(THREAD_QUERY_INFORMATION | THREAD_SET_INFORMATION, FALSE, thread.GetThreadId());
    EXPECT_EQ(THREAD_PRIORITY_BELOW_NORMAL, GetThreadPriority(os));
    // Changed behind the object's back: a repeated value must not undo this.
    SetThreadPriority(os, THREAD_PRIORITY_HIGHEST);
    thread.SetPriority(ThreadPriorityBelowNormal);
    EXPECT_EQ(THREAD_PRIORITY_HIGHEST, GetThreadPriority(os)) << "a repeated SetPriority reached the system";
    thread.SetPriority(ThreadPriorityAboveNormal);
    EXPECT_EQ(THREAD_PRIORITY_ABOVE_NORMAL, GetThreadPriority(os));
    thread.SetPriority(7);
    EXPECT_EQ(THREAD_PRIORITY_NORMAL, GetThreadPriority(os)) << "unknown values mean normal";
    CloseHandle(os);
    // Suspend reports the previous count.
    EXPECT_EQ(0, thread.Suspend(true));
    EXPECT_EQ(1, thread.Suspend(true));
    EXPECT_EQ(2, thread.Suspend(false));
    EXPECT_EQ(1, thread.Suspend(false));
    EXPECT_TRUE(thread.Stop(true));
}
