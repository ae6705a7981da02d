#pragma once

// A mutual-exclusion lock for short sections. The owner may lock it again (each
// Lock needs its Unlock), as a Windows critical section allows. Locking tries
// once without blocking before it waits; on Windows a held section is then won
// by spinning before sleeping.
class xCriticalSection
{
public:
    // Spins before a Windows critical section sleeps.
    static constexpr unsigned SpinCount = 4000;

    xCriticalSection();
    ~xCriticalSection();
    xCriticalSection(const xCriticalSection&) = delete;
    xCriticalSection& operator=(const xCriticalSection&) = delete;

    void Lock();
    void Unlock();

private:
    // Defined by each platform's source: a critical section or a pthread mutex.
    struct Native;
    Native* State;
};

// Holds an xCriticalSection for the lifetime of the object.
class xScopeLock
{
public:
    explicit xScopeLock(xCriticalSection& section) : Section(section) { Section.Lock(); }
    ~xScopeLock() { Section.Unlock(); }
    xScopeLock(const xScopeLock&) = delete;
    xScopeLock& operator=(const xScopeLock&) = delete;

private:
    xCriticalSection& Section;
};
