#include "xEvent.h"

#include <atomic>

#include <windows.h>

struct xEvent::Native
{
    HANDLE Handle = nullptr;
    std::atomic<bool> Signalled{false};
};

xEvent::xEvent() : State(new Native)
{
    // Auto-reset, initially clear, unnamed.
    State->Handle = CreateEventW(nullptr, FALSE, FALSE, nullptr);
}

xEvent::~xEvent()
{
    if (State->Handle != nullptr)
        CloseHandle(State->Handle);
    delete State;
}

bool xEvent::IsSet() const
{
    return State->Signalled.load(std::memory_order_relaxed);
}

void xEvent::Set()
{
    State->Signalled.store(true, std::memory_order_relaxed);
    SetEvent(State->Handle);
}

void xEvent::Reset()
{
    State->Signalled.store(false, std::memory_order_relaxed);
    ResetEvent(State->Handle);
}

bool xEvent::Wait(uint32_t milliseconds)
{
    // A time-out, an abandoned wait and a failed wait all count as not set.
    if (WaitForSingleObject(State->Handle, milliseconds) != WAIT_OBJECT_0)
        return false;
    State->Signalled.store(false, std::memory_order_relaxed);
    return true;
}
