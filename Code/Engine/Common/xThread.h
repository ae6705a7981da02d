#pragma once

#include "xString.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

class xRunnable;

// Scheduling class of an xThread; any other value counts as normal.
enum ThreadPriority : int
{
    ThreadPriorityNormal = 0,
    ThreadPriorityAboveNormal = 1,
    ThreadPriorityBelowNormal = 2,
};

// An operating-system thread running one xRunnable. Start, Stop, Join, Suspend
// and SetPriority belong to one controlling thread. The object must outlive the
// thread's use of it: join it (Join or Stop(true)) before destroying it, or know
// by other means that the thread has finished.
class xThread
{
public:
    static constexpr const char16_t* DefaultName = u"WispThread NoName";

    xThread() = default;
    // Logs "Thread <name> quits"; releases the handle if Stop has not.
    ~xThread();
    xThread(const xThread&) = delete;
    xThread& operator=(const xThread&) = delete;

    // Starts the thread and returns once the runnable's Init has succeeded there;
    // false when the thread cannot be created or Init fails (the thread has then
    // ended and Run is never called). `name` null means DefaultName; `stackSize` 0
    // means the platform's default. Call once per object.
    bool Start(xRunnable* runnable, const char16_t* name, uint32_t stackSize = 0,
               int priority = ThreadPriorityNormal);

    // Does nothing when `priority` is the current one. POSIX keeps the value but
    // leaves the scheduling alone: Linux lets an unprivileged process lower a
    // thread's priority but never raise it back.
    void SetPriority(int priority);

    // Suspends (true) or resumes (false); returns the previous suspend count, -1 on
    // failure. POSIX has no way to suspend another thread and always gives -1.
    int Suspend(bool suspend);

    // Asks the runnable to stop; with `wait`, returns only after the thread has
    // ended. Either way the handle is released. Always true.
    bool Stop(bool wait);

    // Waits for the thread to end; false when there is no thread to wait for.
    bool Join();

    // Hands an object to the thread: it is destroyed on the thread right after its
    // Run has returned. Only the thread itself may call this, from inside Run.
    void AdoptThreadLocal(std::shared_ptr<void> object);

    // The xThread whose Run is executing on the calling thread; null elsewhere.
    static xThread* Current();

    const xWString& GetName() const { return Name; }
    int GetPriority() const { return Priority.load(std::memory_order_relaxed); }
    // The system's id of the thread; valid once Start has succeeded.
    uint32_t GetThreadId() const { return ThreadId; }

private:
    friend struct xThreadEntry;

    // The thread's whole life after creation; returns its exit code. Portable.
    int ThreadMain();

    // Platform parts.
    // Tells the waiting Start whether Init succeeded.
    void SignalStart(bool initialised);
    static void SetCurrent(xThread* thread);
    void ApplyPriority(int priority);
    void ReleaseHandle();

    std::vector<std::shared_ptr<void>> ThreadLocals;
    xWString Name;
    xRunnable* Runnable = nullptr;
    // What the new thread signals once Init is done; lives only while Start waits.
    void* StartSignal = nullptr;
    std::atomic<int> Priority{ThreadPriorityNormal};
    uint32_t ThreadId = 0;
    // Defined by each platform's source: the thread handle.
    struct Native;
    Native* Os = nullptr;
};
