#include "xEvent.h"
#include "xRunnable.h"
#include "xThread.h"

#include <gtest/gtest.h>

#include <string>

#include <pthread.h>

namespace
{
// Notes the system's name of its thread and runs until stopped.
class Waiting : public xRunnable
{
public:
    int Run() override
    {
        char name[16] = {};
        pthread_getname_np(pthread_self(), name, sizeof name);
        SystemName = name;
        Release.Wait();
        return 0;
    }
    void Stop() override { Release.Set(); }
    xEvent Release;
    std::string SystemName; // read after the thread ended
};
} // namespace

TEST(xThread, SystemNameKeepsTheFirstFifteenBytes)
{
    Waiting runnable;
    xThread thread;
    ASSERT_TRUE(thread.Start(&runnable, u"Worker with a long name"));
    EXPECT_TRUE(thread.Stop(true));
    EXPECT_EQ("Worker with a l", runnable.SystemName) << "Linux keeps 15 bytes of a thread name";
}
