#include "xHttp.h"

#include "xLogLine.h"

#include <algorithm>
#include <thread>

namespace
{
// The window thread's id; a default id (no thread) while none is named.
std::atomic<std::thread::id> WindowThread{std::thread::id()};
} // namespace

void xHttpForbidRequestsOnThisThread()
{
    WindowThread.store(std::this_thread::get_id());
}

void xHttpAllowRequestsOnEveryThread()
{
    WindowThread.store(std::thread::id());
}

bool xHttpMaySendOnThisThread()
{
    return WindowThread.load() != std::this_thread::get_id();
}

bool xHttpRequest::Send(const char* headers)
{
    if (!xHttpMaySendOnThisThread())
    {
        LogErrorLine("HTTP request refused: the window thread must not wait on the network");
        return false;
    }
    return SendNow(headers);
}

// Every body byte pays into the session's cap. ReadSome, the downloads' read,
// takes pieces of a fraction of a second's worth under a cap, so the sleeps stay
// short and a connection that waits its turn never looks stalled.
int64_t xHttpRequest::Read(void* buffer, size_t max)
{
    const int64_t got = ReadNow(buffer, max);
    if (got > 0 && Cap != nullptr)
        Cap->Take(static_cast<uint64_t>(got));
    return got;
}

int64_t xHttpRequest::ReadSome(void* buffer, size_t max)
{
    if (Cap == nullptr || !Cap->IsCapped())
        return ReadSomeNow(buffer, max);
    const int64_t got = ReadSomeNow(buffer, std::min(max, Cap->PieceBytes()));
    if (got > 0)
        Cap->Take(static_cast<uint64_t>(got));
    return got;
}

void xHttpSession::SetTimeouts(uint32_t connectMs, uint32_t stallMs)
{
    if (connectMs != 0)
        ConnectTimeoutMs.store(connectMs, std::memory_order_relaxed);
    if (stallMs != 0)
        StallTimeoutMs.store(stallMs, std::memory_order_relaxed);
}
