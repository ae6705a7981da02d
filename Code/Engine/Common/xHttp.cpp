#include "xHttp.h"

#include "xLogLine.h"

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

void xHttpSession::SetTimeouts(uint32_t connectMs, uint32_t stallMs)
{
    if (connectMs != 0)
        ConnectTimeoutMs.store(connectMs, std::memory_order_relaxed);
    if (stallMs != 0)
        StallTimeoutMs.store(stallMs, std::memory_order_relaxed);
}
