#include "xEvent.h"

#include <pthread.h>
#include <time.h>

struct xEvent::Native
{
    pthread_mutex_t Mutex;
    pthread_cond_t Condition;
    bool Signalled = false;
};

namespace
{
class MutexGuard
{
public:
    explicit MutexGuard(pthread_mutex_t& mutex) : Mutex(mutex) { pthread_mutex_lock(&Mutex); }
    ~MutexGuard() { pthread_mutex_unlock(&Mutex); }
    MutexGuard(const MutexGuard&) = delete;
    MutexGuard& operator=(const MutexGuard&) = delete;

private:
    pthread_mutex_t& Mutex;
};

timespec DeadlineAfter(uint32_t milliseconds)
{
    timespec deadline;
    clock_gettime(CLOCK_MONOTONIC, &deadline);
    deadline.tv_sec += static_cast<time_t>(milliseconds / 1000);
    deadline.tv_nsec += static_cast<long>(milliseconds % 1000) * 1000000L;
    if (deadline.tv_nsec >= 1000000000L)
    {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
    }
    return deadline;
}
} // namespace

xEvent::xEvent() : State(new Native)
{
    pthread_mutex_init(&State->Mutex, nullptr);
    // Time-outs follow the monotonic clock, so a change of the wall clock cannot
    // stretch or cut them.
    pthread_condattr_t attributes;
    pthread_condattr_init(&attributes);
    pthread_condattr_setclock(&attributes, CLOCK_MONOTONIC);
    pthread_cond_init(&State->Condition, &attributes);
    pthread_condattr_destroy(&attributes);
}

xEvent::~xEvent()
{
    pthread_cond_destroy(&State->Condition);
    pthread_mutex_destroy(&State->Mutex);
    delete State;
}

bool xEvent::IsSet() const
{
    MutexGuard guard(State->Mutex);
    return State->Signalled;
}

void xEvent::Set()
{
    MutexGuard guard(State->Mutex);
    State->Signalled = true;
    // Auto-reset: one waiter takes the event. Signalled under the mutex so that a
    // waiter that owns the event may destroy it as soon as it wakes.
    pthread_cond_signal(&State->Condition);
}

void xEvent::Reset()
{
    MutexGuard guard(State->Mutex);
    State->Signalled = false;
}

bool xEvent::Wait(uint32_t milliseconds)
{
    const bool forever = milliseconds == WaitForever;
    const timespec deadline = forever ? timespec{} : DeadlineAfter(milliseconds);
    MutexGuard guard(State->Mutex);
    while (!State->Signalled)
    {
        const int result = forever ? pthread_cond_wait(&State->Condition, &State->Mutex)
                                   : pthread_cond_timedwait(&State->Condition, &State->Mutex, &deadline);
        if (result != 0 && !State->Signalled)
            return false;
    }
    State->Signalled = false;
    return true;
}
