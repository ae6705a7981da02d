#include "xThread.h"

#include "xEvent.h"
#include "xTextConversion.h"

#include <algorithm>
#include <atomic>
#include <cstdint>

#include <limits.h>
#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

struct xThread::Native
{
    pthread_t Thread;
    // pthread_join may be called once; later joins report the first one.
    bool Joined = false;
};

namespace
{
// What Start waits on. Unlike the Windows side there is no handle to wait on
// together with the event, so the thread reports a failed Init as well.
struct StartLatch
{
    xEvent Reported;
    std::atomic<bool> Initialised{false};
};

thread_local xThread* CurrentThread = nullptr;

// Linux keeps at most 15 bytes of a thread's name; cut where no UTF-8 sequence breaks.
void NameCallingThread(const xWString& name)
{
    xString utf8 = WideToUtf8(name);
    utf8.Truncate(Utf8PrefixWithinLimit(utf8.c_str(), 15));
    pthread_setname_np(pthread_self(), utf8.c_str());
}
} // namespace

// Runs the new thread; a friend so that it may reach the private parts.
struct xThreadEntry
{
    static void* Main(void* argument)
    {
        xThread* thread = static_cast<xThread*>(argument);
        thread->ThreadId = static_cast<uint32_t>(syscall(SYS_gettid));
        NameCallingThread(thread->Name);
        return reinterpret_cast<void*>(static_cast<intptr_t>(thread->ThreadMain()));
    }
};

bool xThread::Start(xRunnable* runnable, const char16_t* name, uint32_t stackSize, int priority)
{
    if (runnable == nullptr || Os != nullptr)
        return false;
    // Everything the thread may read is in place before it exists.
    Runnable = runnable;
    Name = name != nullptr ? xWString(name) : xWString(DefaultName);
    StartLatch latch;
    StartSignal = &latch;

    pthread_attr_t attributes;
    pthread_attr_init(&attributes);
    if (stackSize != 0)
        pthread_attr_setstacksize(&attributes, std::max<size_t>(stackSize, PTHREAD_STACK_MIN));
    pthread_t handle;
    const int created = pthread_create(&handle, &attributes, xThreadEntry::Main, this);
    pthread_attr_destroy(&attributes);
    if (created != 0)
    {
        StartSignal = nullptr;
        Runnable = nullptr;
        return false;
    }
    Os = new Native{handle};

    latch.Reported.Wait();
    StartSignal = nullptr;
    if (!latch.Initialised.load(std::memory_order_relaxed))
    {
        // The thread is on its way out; reap it.
        Join();
        ReleaseHandle();
        Runnable = nullptr;
        return false;
    }
    SetPriority(priority);
    return true;
}

void xThread::SignalStart(bool initialised)
{
    StartLatch* latch = static_cast<StartLatch*>(StartSignal);
    latch->Initialised.store(initialised, std::memory_order_relaxed);
    latch->Reported.Set();
}

void xThread::SetCurrent(xThread* thread)
{
    CurrentThread = thread;
}

xThread* xThread::Current()
{
    return CurrentThread;
}

void xThread::ApplyPriority(int)
{
    // Kept as a value only (see SetPriority): under SCHED_OTHER the only lever is
    // the nice value, which an unprivileged process cannot raise again.
}

int xThread::Suspend(bool)
{
    return -1;
}

bool xThread::Join()
{
    if (Os == nullptr)
        return false;
    if (!Os->Joined)
    {
        if (pthread_join(Os->Thread, nullptr) != 0)
            return false;
        Os->Joined = true;
    }
    return true;
}

void xThread::ReleaseHandle()
{
    if (Os == nullptr)
        return;
    // Without a join the thread's resources go when it ends.
    if (!Os->Joined)
        pthread_detach(Os->Thread);
    delete Os;
    Os = nullptr;
}
