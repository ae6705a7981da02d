#include "xCriticalSection.h"

#include <pthread.h>

struct xCriticalSection::Native
{
    pthread_mutex_t Mutex;
};

xCriticalSection::xCriticalSection() : State(new Native)
{
    // Recursive, as a Windows critical section is: code that re-enters its own
    // lock on Windows must not deadlock here.
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&State->Mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

xCriticalSection::~xCriticalSection()
{
    pthread_mutex_destroy(&State->Mutex);
    delete State;
}

void xCriticalSection::Lock()
{
    // Same shape as the Windows side; a free mutex is taken by the try alone.
    if (pthread_mutex_trylock(&State->Mutex) != 0)
        pthread_mutex_lock(&State->Mutex);
}

void xCriticalSection::Unlock()
{
    pthread_mutex_unlock(&State->Mutex);
}
