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

// Under a cap the body comes in pieces of a fraction of a second's worth,
// each paid for before the next is read: the sleeps stay short, and a
// connection that waits its turn never looks stalled.
int64_t xHttpRequest::Read(void* buffer, size_t max)
{
    if (Cap == nullptr || !Cap->IsCapped())
        return ReadNow(buffer, max);
    char* out = static_cast<char*>(buffer);
    size_t copied = 0;
    while (copied < max)
    {
        const size_t piece = std::min(max - copied, Cap->PieceBytes());
        const int64_t got = ReadNow(out + copied, piece);
        if (got < 0)
            return copied > 0 ? static_cast<int64_t>(copied) : -1;
        Cap->Take(static_cast<uint64_t>(got));
        copied += static_cast<size_t>(got);
        if (static_cast<size_t>(got) < piece)
            break;
    }
    return static_cast<int64_t>(copied);
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
