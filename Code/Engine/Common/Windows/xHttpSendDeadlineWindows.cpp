#include "xHttpSendDeadlineWindows.h"

#include <algorithm>
#include <atomic>

namespace
{
constexpr uint32_t MarkCount = 1000;
// Handle values searched for a marked socket: all of a process with up to 65536
// handles (the launcher has a few hundred). A search takes a few milliseconds
// under Wine, and runs only at a deadline.
constexpr uintptr_t HandleValueEnd = uintptr_t(1) << 18;

std::atomic<uint32_t> NextMark{0};

// Shuts down every socket of the process whose send timeout is `mark`: the one
// of the request that waits, and any idle one kept for reuse that carries the
// mark from an earlier request (it is then simply not reused).
void ShutDownMarkedSockets(uint32_t mark)
{
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return;
    for (uintptr_t value = 4; value < HandleValueEnd; value += 4)
    {
        const SOCKET socket = static_cast<SOCKET>(value);
        DWORD timeout = 0;
        int size = sizeof(timeout);
        if (getsockopt(socket, SOL_SOCKET, SO_SNDTIMEO, reinterpret_cast<char*>(&timeout), &size) == 0 &&
            size == sizeof(timeout) && timeout == mark)
            shutdown(socket, SD_BOTH);
    }
    WSACleanup();
}
} // namespace

uint32_t xHttpSendDeadline::NewMark(uint32_t stallMs)
{
    const uint64_t mark =
        uint64_t(stallMs) + 1 + NextMark.fetch_add(1, std::memory_order_relaxed) % MarkCount;
    return static_cast<uint32_t>(std::min<uint64_t>(mark, UINT32_MAX));
}

xHttpSendDeadline::xHttpSendDeadline(uint32_t milliseconds, uint32_t mark) : Mark(mark)
{
    Timer = CreateThreadpoolTimer(&xHttpSendDeadline::OnExpiry, this, nullptr);
    if (Timer == nullptr)
        return;
    // A negative due time counts from now, in 100 ns units.
    ULARGE_INTEGER due;
    due.QuadPart = static_cast<ULONGLONG>(-static_cast<LONGLONG>(milliseconds) * 10000);
    FILETIME when;
    when.dwLowDateTime = due.LowPart;
    when.dwHighDateTime = due.HighPart;
    SetThreadpoolTimer(Timer, &when, 0, 0);
}

xHttpSendDeadline::~xHttpSendDeadline()
{
    Stop();
}

bool xHttpSendDeadline::Send(HINTERNET request, const char* headers, DWORD length)
{
    {
        std::lock_guard<std::mutex> hold(Lock);
        if (Expired)
            return false;
        Waiting = request;
    }
    const BOOL sent = HttpSendRequestA(request, length > 0 ? headers : nullptr, length, nullptr, 0);
    std::lock_guard<std::mutex> hold(Lock);
    Waiting = nullptr;
    return sent && !Expired;
}

bool xHttpSendDeadline::ClosedRequest()
{
    std::lock_guard<std::mutex> hold(Lock);
    return Closed;
}

bool xHttpSendDeadline::Stop()
{
    if (Timer != nullptr)
    {
        SetThreadpoolTimer(Timer, nullptr, 0, 0);
        WaitForThreadpoolTimerCallbacks(Timer, TRUE);
        CloseThreadpoolTimer(Timer);
        Timer = nullptr;
    }
    std::lock_guard<std::mutex> hold(Lock);
    return Expired;
}

void CALLBACK xHttpSendDeadline::OnExpiry(PTP_CALLBACK_INSTANCE, void* self, PTP_TIMER)
{
    static_cast<xHttpSendDeadline*>(self)->Expire();
}

void xHttpSendDeadline::Expire()
{
    HINTERNET waiting = nullptr;
    {
        std::lock_guard<std::mutex> hold(Lock);
        Expired = true;
        std::swap(waiting, Waiting);
        Closed = waiting != nullptr;
    }
    // Outside the lock: the Send that waits takes it as soon as its call returns.
    if (waiting != nullptr)
        InternetCloseHandle(waiting);
    ShutDownMarkedSockets(Mark);
}
