#include "xThread.h"

#include "xLogLine.h"
#include "xRunnable.h"
#include "xTextConversion.h"

xThread::~xThread()
{
    LogLine("Thread %s quits", WideToUtf8(Name).c_str());
    ReleaseHandle();
}

int xThread::ThreadMain()
{
    if (!Runnable->Init())
    {
        SignalStart(false);
        return -1;
    }
    SignalStart(true);
    SetCurrent(this);
    const int exitCode = Runnable->Run();
    Runnable->Exit();
    SetCurrent(nullptr);
    // Moved out first so that the thread no longer touches this object while the
    // objects die: a destructor may be what tells the owner it can delete us.
    std::vector<std::shared_ptr<void>> locals = std::move(ThreadLocals);
    ThreadLocals.clear();
    locals.clear();
    return exitCode;
}

void xThread::SetPriority(int priority)
{
    if (priority == Priority.load(std::memory_order_relaxed))
        return;
    Priority.store(priority, std::memory_order_relaxed);
    ApplyPriority(priority);
}

bool xThread::Stop(bool wait)
{
    if (Runnable != nullptr)
        Runnable->Stop();
    if (wait)
        Join();
    ReleaseHandle();
    return true;
}

void xThread::AdoptThreadLocal(std::shared_ptr<void> object)
{
    ThreadLocals.push_back(std::move(object));
}
